#include "system/save_crypt.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kText = "root=/home/u/Musik\npatterns=*.mp3\nvolume=0.8\n";

TEST(SaveCrypt, RoundTripKeepsEveryByte) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    for (const std::string& plain : {kText, binary, std::string()}) {
        std::string sealed = crypt::encrypt(plain);
        ASSERT_EQ(sealed.size(), crypt::kHeaderSize + plain.size());
        EXPECT_EQ(sealed.compare(0, 5, std::string("QMSV\x01", 5)), 0);
        std::string out = "stale";
        EXPECT_EQ(crypt::decrypt(sealed, &out), 0);
        EXPECT_EQ(out, plain);
        EXPECT_EQ(crypt::decrypt(sealed, nullptr), 0);
    }
}

TEST(SaveCrypt, SealsOfOneTextDifferAndHideIt) {
    std::string a = crypt::encrypt(kText), b = crypt::encrypt(kText);
    EXPECT_NE(a.substr(5, 24), b.substr(5, 24)) << "nonces must differ";
    EXPECT_NE(a.substr(crypt::kHeaderSize), b.substr(crypt::kHeaderSize));
    EXPECT_EQ(a.find("Musik"), std::string::npos);
    std::string out;
    ASSERT_EQ(crypt::decrypt(b, &out), 0);
    EXPECT_EQ(out, kText);
}

TEST(SaveCrypt, EverySingleBitFlipIsRefused) {
    const std::string sealed = crypt::encrypt(kText);
    for (size_t i = 0; i < sealed.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string changed = sealed;
            changed[i] = static_cast<char>(changed[i] ^ (1 << bit));
            std::string out = "stale";
            ASSERT_EQ(crypt::decrypt(changed, &out), 2) << "byte " << i << " bit " << bit;
            ASSERT_TRUE(out.empty());
        }
    }
}

TEST(SaveCrypt, CutShortOrForeignInputIsRefused) {
    const std::string sealed = crypt::encrypt(kText);
    std::string out = "stale";
    EXPECT_EQ(crypt::decrypt(sealed.substr(0, sealed.size() - 1), &out), 2);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(crypt::decrypt(sealed.substr(1), &out), 2);
    EXPECT_EQ(crypt::decrypt(sealed + "x", &out), 2);

    const std::string empty_seal = crypt::encrypt("");
    EXPECT_EQ(crypt::decrypt(empty_seal.substr(0, 44), &out), 2);
    EXPECT_EQ(crypt::decrypt(std::string(44, 'Q'), &out), 2);

    out = "stale";
    EXPECT_EQ(crypt::decrypt("", &out), 1);
    EXPECT_TRUE(out.empty());

    out = "stale";
    EXPECT_EQ(crypt::decrypt("root=/home/u/Musik\npatterns=*.mp3\nrecursive=1\nwin_from=360\n", &out), 2);
    EXPECT_TRUE(out.empty());

    // A value from another key (all-zero tag and cipher) fails authentication, not the format check.
    std::string forged = std::string("QMSV\x01", 5) + std::string(40 + 8, '\0');
    EXPECT_EQ(crypt::decrypt(forged, &out), 2);
}

TEST(SaveCrypt, LooksSealedChecksLengthAndMagicOnly) {
    std::string header = std::string("QMSV\x07", 5) + std::string(40, 'z');
    EXPECT_TRUE(crypt::looks_sealed(header));
    EXPECT_FALSE(crypt::looks_sealed(header.substr(0, 44)));
    EXPECT_FALSE(crypt::looks_sealed("qMSV" + header.substr(4)));
    EXPECT_TRUE(crypt::looks_sealed(crypt::encrypt("")));
    EXPECT_EQ(crypt::decrypt(header, nullptr), 2) << "version 7 is not readable";
}

// Decrypted text is wiped where it lies, not merely forgotten.
TEST(SaveCrypt, WipeZeroesTheBytesInPlace) {
    std::string plain;
    ASSERT_EQ(crypt::decrypt(crypt::encrypt(std::string(64, 's')), &plain), 0);
    const char* bytes = plain.data();
    crypt::wipe(plain);
    EXPECT_TRUE(plain.empty());
    ASSERT_EQ(plain.data(), bytes) << "clearing keeps the buffer, so it can be inspected";
    EXPECT_EQ(std::string(bytes, 64), std::string(64, '\0'));
}

}  // namespace
