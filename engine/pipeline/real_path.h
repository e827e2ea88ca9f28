#pragma once

#include <optional>
#include <string>

#include <sys/stat.h>

namespace sorvik::RealPath {

/// The two system calls that resolving makes, replaceable so that tests can make the disk
/// change between them.
struct Calls {
    int (*lstat)(const char* path, struct stat* status) = ::lstat;
    char* (*realpath)(const char* path, char* resolved) = ::realpath;
};

/// Where `path` (absolute, standardized) really leads: its longest existing part resolved by
/// the file system, and the rest, which cannot hold links yet, appended. A part that vanishes
/// while it is being resolved (another thread removing folders) counts as missing, so its
/// nearest existing parent is resolved instead. Nothing when an existing part cannot be
/// resolved, such as a dangling or looping link.
std::optional<std::string> resolve(const std::string& path, const Calls& calls = {});

} // namespace sorvik::RealPath
