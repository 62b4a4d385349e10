// A fresh folder under /tmp for one test, removed with everything below it when the test ends.
#pragma once
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of `rel` below the folder.
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
    // Writes a file of `size` bytes (parents created), returns its path.
    std::string write_file(const std::string& rel, size_t size, char fill = 'x') const;
    std::string write_text(const std::string& rel, const std::string& text) const;
    std::string make_dir(const std::string& rel) const;

private:
    std::string path_;
};

std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

}  // namespace testsupport
