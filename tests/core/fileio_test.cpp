#include "core/fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace {

// Only a regular file opens; whatever else stands at the path fails at once, for reading and
// for writing, without waiting for a partner at the other end of a pipe.
TEST(FileIo, OnlyRegularFilesOpen) {
    testsupport::TempDir tmp;
    const std::string pipe = tmp / "pipe";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    std::string text;
    EXPECT_TRUE(fileio::read_file(tmp.write_text("file", "content"), &text));
    EXPECT_EQ(text, "content");
    for (const std::string& path : {pipe, tmp.path(), std::string("/dev/null"), tmp / "missing"}) {
        SCOPED_TRACE(path);
        text = "old";
        EXPECT_FALSE(fileio::read_file(path, &text));
        EXPECT_EQ(text, "");
        EXPECT_FALSE(fileio::open_stream(path, O_RDONLY, 0, "rb"));
    }
    EXPECT_EQ(-1, fileio::open_regular(pipe.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600));
}

}  // namespace
