// The table tool on small language sets: what it writes from good files, and that every fault in
// a file stops it with a message naming file, line and key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testsupport::read_file;
using testsupport::file_exists;

class MakeTables : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_.make_dir("out");
        write_list("en ltr English\nxx rtl Xish\n");
        write_lang("en", "alpha = A\nbeta = B\n");
        write_lang("xx", "beta = b\nalpha = a\n");
    }
    void write_list(const std::string& text) { tmp_.write_text("languages.txt", text); }
    void write_lang(const std::string& code, const std::string& text) {
        tmp_.write_text("lang/" + code + ".txt", text);
    }
    testsupport::RunResult run_tool() {
        return testsupport::run({QM_I18N_TOOL, tmp_ / "languages.txt", tmp_ / "lang", tmp_ / "out"});
    }
    // Runs the tool expecting it to refuse, with `message` on stderr and nothing written.
    void expect_fault(const std::string& message) {
        testsupport::RunResult r = run_tool();
        EXPECT_EQ(r.exit_code, 1) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << "expected: " << message << "\ngot: " << r.err;
        EXPECT_FALSE(file_exists(tmp_ / "out/i18n_data.cpp"));
    }
    testsupport::TempDir tmp_;
};

TEST_F(MakeTables, GoodFilesGiveSortedKeysParallelTextsAndEscapedLiterals) {
    write_lang("en",
               "\xEF\xBB\xBF# comment = not a key\r\n\r\nzeta = say \"hi\" \\ now\r\n"
               "alpha = no choice = all?" "?!\n");
    write_lang("xx", "alpha = a\n# zeta = commented\nzeta = z\n");
    testsupport::RunResult r = run_tool();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string header = read_file(tmp_ / "out/i18n_data.h");
    std::string source = read_file(tmp_ / "out/i18n_data.cpp");
    EXPECT_NE(header.find("constexpr int kKeyCount = 2;"), std::string::npos);
    EXPECT_NE(header.find("constexpr int kLangCount = 2;"), std::string::npos);
    EXPECT_NE(header.find("extern const char* const VALUES_xx[kKeyCount];"), std::string::npos);
    EXPECT_NE(source.find("KEYS[kKeyCount] = {\n    \"alpha\",\n    \"zeta\",\n};"), std::string::npos);
    EXPECT_NE(source.find("VALUES_en[kKeyCount] = {\n    \"no choice = all?\\?!\",\n"
                          "    \"say \\\"hi\\\" \\\\ now\",\n};"),
              std::string::npos)
        << source;
    EXPECT_NE(source.find("VALUES_xx[kKeyCount] = {\n    \"a\",\n    \"z\",\n};"), std::string::npos);
    EXPECT_NE(source.find("{\"en\", \"English\", false, VALUES_en},\n    {\"xx\", \"Xish\", true, VALUES_xx},"),
              std::string::npos);
}

TEST_F(MakeTables, KeyFaultsNameFileLineAndKey) {
    const std::string xx = tmp_ / "lang/xx.txt";
    write_lang("xx", "alpha = a\n");
    expect_fault(xx + ": missing key \"beta\"");
    write_lang("xx", "alpha = a\nbeta = b\ngamma = c\n");
    expect_fault(xx + ":3: unknown key \"gamma\" (not in en.txt)");
    write_lang("xx", "alpha = a\n\nbeta = b\nalpha = again\n");
    expect_fault(xx + ":4: duplicate key \"alpha\" (first on line 1)");
    write_lang("xx", "alpha = \nbeta = b\n");
    expect_fault(xx + ":1: empty text for key \"alpha\"");
    write_lang("xx", "alpha=a\nbeta = b\n");
    expect_fault(xx + ":1: expected \"key = text\"");
    write_lang("xx", "alpha = a\n beta = b\n");
    expect_fault(xx + ":2: expected \"key = text\"");
    write_lang("en", "alpha = \n");
    expect_fault(tmp_ / "lang/en.txt:1: empty text for key \"alpha\"");
}

TEST_F(MakeTables, BrokenTextsAreRefused) {
    const std::string xx = tmp_ / "lang/xx.txt:2: text of key \"beta\" ";
    for (const char* bad : {"\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "end\xE2\x82", "\xFF"}) {
        write_lang("xx", std::string("alpha = a\nbeta = ") + bad + "\n");
        expect_fault(xx + "is not valid UTF-8");
    }
    write_lang("xx", "alpha = a\nbeta = tab\there\n");
    expect_fault(xx + "contains a control character");
}

TEST_F(MakeTables, LanguageListFaults) {
    const std::string list = tmp_ / "languages.txt";
    tmp_.write_text("lang/yy.txt", "");
    std::remove((tmp_ / "lang/xx.txt").c_str());
    expect_fault(tmp_ / "lang/xx.txt: missing or unreadable language file");
    write_lang("xx", "alpha = a\nbeta = b\n");
    write_list("xx ltr Xish\n");
    expect_fault(list + ": the reference language en is not listed");
    write_list("en ltr English\nxx up Xish\n");
    expect_fault(list + ":2: expected \"code ltr|rtl Native name\"");
    write_list("en ltr English\nx-y ltr Xish\n");
    expect_fault(list + ":2: expected \"code ltr|rtl Native name\"");
    write_list("en ltr English\nxx rtl Xish\n# again\nxx ltr Xish\n");
    expect_fault(list + ":4: language xx listed twice");
}

TEST_F(MakeTables, OneRunReportsEveryFault) {
    write_lang("en", "alpha = A\nbeta = B\nalpha = A2\n");
    write_lang("xx", "alpha = \n");
    testsupport::RunResult r = run_tool();
    EXPECT_EQ(r.exit_code, 1);
    for (const char* part : {"en.txt:3: duplicate key \"alpha\"", "xx.txt:1: empty text for key \"alpha\"",
                             "xx.txt: missing key \"beta\""})
        EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
}

}  // namespace
