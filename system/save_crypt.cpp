#include "system/save_crypt.h"

#include <sodium.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace crypt {

namespace {

constexpr unsigned char kMagic[4] = {'Q', 'M', 'S', 'V'};
constexpr unsigned char kVersion = 1;
constexpr size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr size_t kNonceAt = 5;
constexpr size_t kTagAt = kNonceAt + kNonceSize;
static_assert(kNonceSize == 24 && kTagSize == 16 && kKeySize == 32, "layout of a sealed value");
static_assert(kTagAt + kTagSize == kHeaderSize, "layout of a sealed value");

// Memory that held key material or plain text is wiped when it goes.
class Wiped {
public:
    explicit Wiped(size_t size) : bytes_(size == 0 ? 1 : size, 0), size_(size) {}
    ~Wiped() { sodium_memzero(bytes_.data(), bytes_.size()); }
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;

    unsigned char* data() { return bytes_.data(); }
    size_t size() const { return size_; }

private:
    std::vector<unsigned char> bytes_;  // never empty, so data() is a real buffer
    size_t size_;
};

// The key is rebuilt for every operation so that it is in memory only while one runs.
void derive_key(Wiped& key) {
    static constexpr unsigned char kSeeds[32] = {
        0x01, 0x3a, 0xd3, 0x6f, 0xd0, 0xcd, 0xf9, 0x90, 0xcd, 0x2b, 0x48, 0xf4, 0xfc, 0x4f, 0x66, 0xb5,
        0xe1, 0x78, 0x61, 0xaa, 0x82, 0xfc, 0x70, 0x77, 0x59, 0x85, 0x92, 0xcc, 0x52, 0xe3, 0x8f, 0xff};
    static constexpr unsigned char kTag[16] = {'Q', 'u', 'a', 'v', 'e', 'r', 'm', 'i',
                                               'l', 'l', '/', 's', 'e', 'a', 'l', '1'};
    Wiped material(sizeof kSeeds + sizeof kTag);
    std::memcpy(material.data(), kSeeds, sizeof kSeeds);
    std::memcpy(material.data() + sizeof kSeeds, kTag, sizeof kTag);
    crypto_generichash(key.data(), kKeySize, material.data(), material.size(), nullptr, 0);
}

// Random words mixed with the monotonic clock: a weak or repeating random source still
// gives different nonces over time.
void make_nonce(unsigned char* nonce) {
    std::random_device source("default");
    for (size_t word = 0; word < kNonceSize / 4; ++word) {
        uint32_t value = source();
        for (size_t b = 0; b < 4; ++b) nonce[word * 4 + b] = static_cast<unsigned char>(value >> (8 * b));
    }
    auto ticks = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch())
                                           .count());
    for (size_t b = 0; b < 8; ++b) nonce[b] ^= static_cast<unsigned char>(ticks >> (8 * b));
}

bool ready() {
    static const bool ok = sodium_init() >= 0;
    return ok;
}

const unsigned char* bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::string encrypt(const std::string& plain) {
    ready();
    Wiped key(kKeySize);
    derive_key(key);
    unsigned char nonce[kNonceSize];
    make_nonce(nonce);
    std::string sealed(kHeaderSize + plain.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(&sealed[0]);
    std::memcpy(out, kMagic, sizeof kMagic);
    out[4] = kVersion;
    std::memcpy(out + kNonceAt, nonce, kNonceSize);
    crypto_aead_xchacha20poly1305_ietf_encrypt_detached(out + kHeaderSize, out + kTagAt, nullptr,
                                                        bytes(plain), plain.size(), nullptr, 0,
                                                        nullptr, nonce, key.data());
    return sealed;
}

int decrypt(const std::string& sealed, std::string* out) {
    if (out) out->clear();
    if (sealed.empty()) return 1;
    if (sealed.size() < kHeaderSize || !looks_sealed(sealed) || bytes(sealed)[4] != kVersion) return 2;
    if (!ready()) return 2;
    Wiped key(kKeySize);
    derive_key(key);
    Wiped plain(sealed.size() - kHeaderSize);
    const unsigned char* in = bytes(sealed);
    int rc = crypto_aead_xchacha20poly1305_ietf_decrypt_detached(
        plain.data(), nullptr, in + kHeaderSize, plain.size(), in + kTagAt, nullptr, 0,
        in + kNonceAt, key.data());
    if (rc != 0) return 2;
    if (out) out->assign(reinterpret_cast<const char*>(plain.data()), plain.size());
    return 0;
}

bool looks_sealed(const std::string& text) {
    return text.size() >= kHeaderSize && std::memcmp(text.data(), kMagic, sizeof kMagic) == 0;
}

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(&text[0], text.size());
    text.clear();
}

}  // namespace crypt
