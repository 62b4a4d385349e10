#include "core/scanner.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <deque>
#include <memory>
#include <unordered_set>

namespace scanner {

namespace {

struct FolderId {
    dev_t dev;
    ino_t ino;
    bool operator==(const FolderId& o) const { return dev == o.dev && ino == o.ino; }
};

struct FolderIdHash {
    size_t operator()(const FolderId& id) const {
        return std::hash<uint64_t>()(static_cast<uint64_t>(id.ino) * 0x9e3779b97f4a7c15ULL ^
                                     static_cast<uint64_t>(id.dev));
    }
};

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

bool is_dot_entry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Follows links. A full path too long for the system counts as unreadable, so nothing is taken
// under a path that no later open could use.
bool status(int fd, const std::string& folder, const char* entry, struct stat* st) {
    if (folder.size() + 1 + strlen(entry) >= PATH_MAX) return false;
    return fstatat(fd, entry, st, 0) == 0;
}

std::string join(const std::string& folder, const char* name) {
    std::string path;
    path.reserve(folder.size() + 1 + strlen(name));
    path += folder;
    path += '/';
    path += name;
    return path;
}

// The file step: the status's size and modification time stand for both file times.
bool take_file(const FilterSet& rules, const std::string& folder, const std::string& name,
               const struct stat& st, MediaFile* out) {
    const int64_t size = static_cast<int64_t>(st.st_size);
    const int64_t modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    int64_t t = 0;
    if (!filters::accept(rules, name, size, modified, modified, &t)) return false;
    *out = MediaFile{join(folder, name.c_str()), name, size, t};
    return true;
}

// One walk: the queue of folders still to read, the folders already queued, and what was taken.
// Entries are examined relative to the open folder, so the kernel resolves only the last name
// and a path is built only for a file taken or a folder queued.
class Walk {
public:
    Walk(const FilterSet& rules, const std::atomic<bool>* cancel) : rules_(rules), cancel_(cancel) {}

    std::vector<MediaFile> run(const std::string& root, const ProgressFn& progress,
                               const FolderFn& opened) {
        queue_.push_back(root);
        while (!queue_.empty() && !cancelled(cancel_)) {
            std::string folder = std::move(queue_.front());
            queue_.pop_front();
            ++counts_.dirs;
            if (read_folder(folder, opened) && progress) progress(counts_);
        }
        if (progress) progress(counts_);
        return std::move(found_);
    }

private:
    bool read_folder(const std::string& folder, const FolderFn& opened) {
        DirHandle dir(opendir(folder.c_str()));
        if (!dir) return false;
        if (opened) opened(folder);
        int fd = dirfd(dir.get());
        while (!cancelled(cancel_)) {
            const dirent* e = readdir(dir.get());
            if (!e) break;
            if (!is_dot_entry(e->d_name)) examine(fd, folder, e->d_name, e->d_type);
        }
        return true;
    }

    void examine(int fd, const std::string& folder, const char* entry, unsigned char type) {
        struct stat st;
        switch (type) {
        case DT_DIR:
            if (!rules_.recursive) return;
            // A folder whose status cannot be read is still queued, only without the loop test.
            if (!status(fd, folder, entry, &st) || first_visit(st)) queue_.push_back(join(folder, entry));
            return;
        case DT_REG:
            name_.assign(entry);
            // The listing already says it is a regular file; a name no pattern takes is refused
            // whatever its size and time, so its status need not be read.
            if (!filters::name_matches(name_, rules_.patterns)) {
                ++counts_.files;
                return;
            }
            break;
        case DT_LNK:
        case DT_UNKNOWN:
            name_.assign(entry);
            break;
        default:
            return;  // pipes, sockets, devices
        }
        if (!status(fd, folder, entry, &st)) return;  // broken link or vanished entry
        if (S_ISDIR(st.st_mode)) {
            if (rules_.recursive && first_visit(st)) queue_.push_back(join(folder, entry));
        } else if (S_ISREG(st.st_mode)) {
            ++counts_.files;
            MediaFile file;
            if (!take_file(rules_, folder, name_, st, &file)) return;
            found_.push_back(std::move(file));
            ++counts_.matched;
        }
    }

    bool first_visit(const struct stat& st) { return visited_.insert(FolderId{st.st_dev, st.st_ino}).second; }

    const FilterSet& rules_;
    const std::atomic<bool>* cancel_;
    std::deque<std::string> queue_;
    std::unordered_set<FolderId, FolderIdHash> visited_;  // the root is deliberately not in it
    std::vector<MediaFile> found_;
    Progress counts_;
    std::string name_;  // the entry being examined, kept to reuse its buffer
};

}  // namespace

std::string normalize(const std::string& path) {
    std::string out = path;
    for (char& c : out)
        if (c == '\\') c = '/';
    while (out.size() >= 2 && out.back() == '/') out.pop_back();
    return out;
}

bool directory_exists(const std::string& path) {
    if (path.empty()) return false;
    std::string p = normalize(path);
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return DirHandle(opendir(p.c_str())) != nullptr;
}

std::vector<MediaFile> scan(const FilterSet& rules, const std::atomic<bool>* cancel,
                            const ProgressFn& progress, const FolderFn& folder) {
    std::string root = normalize(rules.root);
    if (root.empty()) return {};
    return Walk(rules, cancel).run(root, progress, folder);
}

bool examine(const FilterSet& rules, const std::string& folder, const std::string& name,
             MediaFile* out) {
    const std::string path = join(folder, name.c_str());
    struct stat st;
    if (path.size() >= PATH_MAX || stat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode) && take_file(rules, folder, name, st, out);
}

}  // namespace scanner
