#include "support/temp_dir.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    chmod(path, 0700);  // tests make folders unreadable; let them go
    return ::remove(path);
}

void make_parents(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0755);
}

void make_writable_tree(const std::string& root) {
    nftw(root.c_str(), [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR) chmod(p, st->st_mode | 0700);
        return 0;
    }, 32, FTW_PHYS);
}

}  // namespace

TempDir::TempDir() {
    std::string tmpl = "/tmp/qmtest.XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    make_writable_tree(path_);
    nftw(path_.c_str(), remove_entry, 32, FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::write_file(const std::string& rel, size_t size, char fill) const {
    return write_text(rel, std::string(size, fill));
}

std::string TempDir::write_text(const std::string& rel, const std::string& text) const {
    std::string p = *this / rel;
    make_parents(p);
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

std::string TempDir::make_dir(const std::string& rel) const {
    std::string p = *this / rel;
    make_parents(p + "/");
    return p;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool file_exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace testsupport
