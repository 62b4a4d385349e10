// Walks a folder breadth first and returns the files the rules accept, in walk order.
// No shared state: runs on the caller's thread, several scans may run at once. The cancel
// flag is the only value another thread touches; it takes effect within one entry.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/filters.h"

struct MediaFile {
    std::string path;  // folder as walked + "/" + name
    std::string name;
    int64_t size = 0;
    int64_t time = 0;  // recording time, epoch seconds
};

namespace scanner {

struct Progress {
    int64_t dirs = 0;     // folders taken from the queue (also those that failed to open)
    int64_t files = 0;    // regular files examined
    int64_t matched = 0;  // files accepted
};

using ProgressFn = std::function<void(const Progress&)>;
// Told each folder of a walk (as walked) once it is open and before its entries are read.
using FolderFn = std::function<void(const std::string& folder)>;

// "\" becomes "/", trailing "/" removed while the text is longer than one character.
std::string normalize(const std::string& path);
// True if the (normalised) path is a folder whose entries can be read.
bool directory_exists(const std::string& path);
// Never reports an error: unreadable folders and vanished entries are skipped.
std::vector<MediaFile> scan(const FilterSet& rules, const std::atomic<bool>* cancel,
                            const ProgressFn& progress, const FolderFn& folder = {});
// The file step of a walk for one entry of `folder`: true, with *out filled, when the entry is
// (after following links) a regular file that the rules take.
bool examine(const FilterSet& rules, const std::string& folder, const std::string& name,
             MediaFile* out);

}  // namespace scanner
