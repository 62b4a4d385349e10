#include "core/scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "support/temp_dir.h"

using testsupport::TempDir;

namespace {

class ScannerTest : public ::testing::Test {
protected:
    ScannerTest() {
        rules.root = tmp.path();
        rules.time_rules = false;  // file times are whatever the test run gives them
    }
    // Paths of the result relative to the root, in result order; records every progress call.
    std::vector<std::string> scan_rel(const std::atomic<bool>* cancel = nullptr) {
        calls.clear();
        found = scanner::scan(rules, cancel, [this](const scanner::Progress& p) {
            calls.push_back(p);
            if (on_progress) on_progress(p);
        });
        std::vector<std::string> rel;
        for (const MediaFile& f : found) rel.push_back(f.path.substr(tmp.path().size() + 1));
        return rel;
    }
    void expect_final(int64_t dirs, int64_t files, int64_t matched) {
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().dirs, dirs);
        EXPECT_EQ(calls.back().files, files);
        EXPECT_EQ(calls.back().matched, matched);
        EXPECT_EQ(static_cast<int64_t>(found.size()), calls.back().matched);
    }
    TempDir tmp;
    FilterSet rules;
    std::vector<MediaFile> found;
    std::vector<scanner::Progress> calls;
    std::function<void(const scanner::Progress&)> on_progress;
};

TEST(ScannerPaths, NormalizeAndDirectoryExists) {
    EXPECT_EQ(scanner::normalize("D:\\music\\"), "D:/music");
    EXPECT_EQ(scanner::normalize("/data//"), "/data");
    EXPECT_EQ(scanner::normalize("/"), "/");
    EXPECT_EQ(scanner::normalize("//"), "/");
    EXPECT_EQ(scanner::normalize(""), "");
    EXPECT_EQ(scanner::normalize(" ~/a/./b "), " ~/a/./b ");
    TempDir tmp;
    EXPECT_TRUE(scanner::directory_exists(tmp.path() + "\\"));
    EXPECT_FALSE(scanner::directory_exists(tmp.write_file("f.mp3", 10)));
    EXPECT_FALSE(scanner::directory_exists(tmp / "missing"));
    EXPECT_FALSE(scanner::directory_exists(""));
}

TEST_F(ScannerTest, BreadthFirstWithCountsAndProgress) {
    tmp.write_file("a.mp3", 2000);
    tmp.write_file("small.mp3", 1023);
    tmp.write_file("note.txt", 2000);
    tmp.write_file("one/b.mp3", 2000);
    tmp.write_file("one/deeper/c.mp3", 2000);
    tmp.write_file("two/d.MP3", 2000);
    std::vector<std::string> rel = scan_rel();
    ASSERT_EQ(rel.size(), 4u);
    EXPECT_EQ(rel[0], "a.mp3");
    EXPECT_EQ(std::set<std::string>(rel.begin() + 1, rel.begin() + 3),
              (std::set<std::string>{"one/b.mp3", "two/d.MP3"}));
    EXPECT_EQ(rel[3], "one/deeper/c.mp3");
    EXPECT_EQ(found[0].name, "a.mp3");
    EXPECT_EQ(found[0].size, 2000);
    EXPECT_EQ(calls.size(), 5u);  // after each of the four folders, then the final counts
    expect_final(4, 6, 4);

    rules.recursive = false;
    EXPECT_EQ(scan_rel(), std::vector<std::string>{"a.mp3"});
    expect_final(1, 3, 1);
}

TEST_F(ScannerTest, RootsThatYieldNothing) {
    rules.root = "";
    EXPECT_TRUE(scan_rel().empty());
    EXPECT_TRUE(calls.empty());
    rules.root = tmp.write_file("file.mp3", 2000);
    EXPECT_TRUE(scan_rel().empty());
    expect_final(1, 0, 0);
    rules.root = tmp / "missing";
    EXPECT_TRUE(scan_rel().empty());
    expect_final(1, 0, 0);
}

TEST_F(ScannerTest, LinksAreFollowedOnceAndBrokenOnesSkipped) {
    TempDir outside;
    std::string target = outside.write_file("c.mp3", 3000);
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
    tmp.write_file("a.mp3", 2000);
    tmp.write_file("sub/b.mp3", 2000);
    ASSERT_EQ(symlink(outside.path().c_str(), (tmp / "ext1").c_str()), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), (tmp / "ext2").c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), (tmp / "alias.mp3").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.mp3", (tmp / "dead.mp3").c_str()), 0);
    ASSERT_EQ(symlink("self.mp3", (tmp / "self.mp3").c_str()), 0);
    ASSERT_EQ(symlink("..", (tmp / "sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../sub", (tmp / "sub/again").c_str()), 0);

    std::vector<std::string> rel = scan_rel();
    std::map<std::string, int> seen;
    for (const std::string& r : rel) ++seen[r.substr(0, 3) == "ext" ? "ext/" + r.substr(5) : r];
    // The root is not in the visited set, so the link back to it walks its own files once more.
    EXPECT_EQ(seen, (std::map<std::string, int>{{"a.mp3", 1}, {"alias.mp3", 1}, {"ext/c.mp3", 1},
                                                {"sub/b.mp3", 1}, {"sub/up/a.mp3", 1},
                                                {"sub/up/alias.mp3", 1}}));
    expect_final(4, 6, 6);
    auto alias = std::find_if(found.begin(), found.end(), [](const MediaFile& f) { return f.name == "alias.mp3"; });
    ASSERT_NE(alias, found.end());
    EXPECT_EQ(alias->size, 3000);
    EXPECT_EQ(alias->time, 1700000000);
}

TEST_F(ScannerTest, EntryKinds) {
    tmp.write_file(".hidden.mp3", 2000);
    tmp.write_file("\xff\xfe-raw.mp3", 2000);
    ASSERT_EQ(mkfifo((tmp / "pipe.mp3").c_str(), 0600), 0);
    tmp.make_dir("folder.mp3");
    std::vector<std::string> rel = scan_rel();
    std::sort(rel.begin(), rel.end());
    EXPECT_EQ(rel, (std::vector<std::string>{".hidden.mp3", "\xff\xfe-raw.mp3"}));
    expect_final(2, 2, 2);
}

TEST_F(ScannerTest, VanishedFolderIsCountedAndSkipped) {
    tmp.make_dir("gone");
    tmp.write_file("keep/x.mp3", 2000);
    // Removed after the root was listed and before its turn in the queue.
    on_progress = [this](const scanner::Progress& p) {
        if (p.dirs == 1) rmdir((tmp / "gone").c_str());
    };
    EXPECT_EQ(scan_rel(), std::vector<std::string>{"keep/x.mp3"});
    EXPECT_EQ(calls.size(), 3u);  // root, keep, final: none for the folder that failed
    expect_final(3, 1, 1);
}

TEST_F(ScannerTest, UnreadableFolderIsCountedAndSkipped) {
    tmp.write_file("keep/x.mp3", 2000);
    tmp.write_file("locked/y.mp3", 2000);
    chmod(tmp.path().c_str(), 0755);
    chmod((tmp / "locked").c_str(), 0);
    auto check = [this] {
        return scan_rel() == std::vector<std::string>{"keep/x.mp3"} && calls.size() == 3 &&
               calls.back().dirs == 3 && calls.back().files == 1;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    // Root reads folders of mode 000, so the scan runs in a child that has given up root.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(setuid(65534) == 0 && check() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// A chain of folders deeper than the system's path limit, made and removed relative to each level.
class DeepChain {
public:
    DeepChain(const std::string& root, size_t levels) : name_(200, 'd') {
        fds_.push_back(open(root.c_str(), O_RDONLY | O_DIRECTORY));
        for (size_t i = 0; i < levels; ++i) {
            mkdirat(fds_.back(), name_.c_str(), 0755);
            fds_.push_back(openat(fds_.back(), name_.c_str(), O_RDONLY | O_DIRECTORY));
        }
    }
    ~DeepChain() {
        for (size_t i = fds_.size() - 1; i > 0; --i) {
            for (const std::string& f : files_[i]) unlinkat(fds_[i], f.c_str(), 0);
            close(fds_[i]);
            unlinkat(fds_[i - 1], name_.c_str(), AT_REMOVEDIR);
        }
        close(fds_[0]);
    }
    void add_file(size_t level, const std::string& name) {
        int fd = openat(fds_[level], name.c_str(), O_WRONLY | O_CREAT, 0644);
        EXPECT_EQ(ftruncate(fd, 2000), 0);
        close(fd);
        files_[level].push_back(name);
    }
    static size_t path_length(const std::string& root, size_t level) { return root.size() + level * 201; }

private:
    std::string name_;
    std::vector<int> fds_;
    std::map<size_t, std::vector<std::string>> files_;
};

TEST_F(ScannerTest, PathsBeyondTheSystemLimit) {
    const std::string& root = tmp.path();
    size_t openable = 0;  // the deepest level whose path can still be opened
    while (DeepChain::path_length(root, openable + 1) < PATH_MAX) ++openable;
    DeepChain chain(root, openable + 2);
    int64_t reachable = 0;
    for (size_t level = 1; level <= openable + 1; ++level) {
        chain.add_file(level, "f.mp3");
        if (level <= openable && DeepChain::path_length(root, level) + 6 < PATH_MAX) ++reachable;
    }
    // Fits as a folder, but not with this name after it.
    size_t rest = PATH_MAX - DeepChain::path_length(root, openable);
    chain.add_file(openable, std::string(std::max<size_t>(rest, 5) - 4, 'n') + ".mp3");

    scan_rel();
    for (const MediaFile& f : found) {
        EXPECT_LT(f.path.size(), size_t(PATH_MAX));
        EXPECT_EQ(f.name, "f.mp3");
        EXPECT_TRUE(testsupport::file_exists(f.path));
    }
    // The first level too deep is taken from the queue but cannot be read.
    expect_final(static_cast<int64_t>(openable) + 2, reachable, reachable);
}

TEST_F(ScannerTest, CancelFromAnotherThreadStopsBeforeTheNextFolder) {
    for (int i = 0; i < 50; ++i) tmp.write_file("d" + std::to_string(i) + "/x.mp3", 2000);
    tmp.write_file("top.mp3", 2000);
    std::atomic<bool> cancel{false};
    std::promise<void> asked, raised;
    std::thread canceller([&] {
        asked.get_future().wait();
        cancel = true;
        raised.set_value();
    });
    std::future<void> raised_seen = raised.get_future();
    on_progress = [&](const scanner::Progress&) {
        if (calls.size() != 1) return;
        asked.set_value();
        raised_seen.wait();
    };
    EXPECT_EQ(scan_rel(&cancel), std::vector<std::string>{"top.mp3"});
    canceller.join();
    EXPECT_EQ(calls.size(), 2u);  // the root's, then the final one after the flag was raised
    expect_final(1, 1, 1);
}

TEST_F(ScannerTest, ConcurrentScansAgree) {
    for (int i = 0; i < 20; ++i) tmp.write_file("d" + std::to_string(i % 4) + "/" + std::to_string(i) + ".mp3", 2000);
    std::vector<MediaFile> other;
    std::thread t([&] { other = scanner::scan(rules, nullptr, nullptr); });
    std::vector<MediaFile> mine = scanner::scan(rules, nullptr, nullptr);
    t.join();
    ASSERT_EQ(mine.size(), 20u);
    ASSERT_EQ(other.size(), mine.size());
    for (size_t i = 0; i < mine.size(); ++i) EXPECT_EQ(other[i].path, mine[i].path);
}

}  // namespace
