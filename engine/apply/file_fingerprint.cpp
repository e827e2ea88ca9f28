#include "engine/apply/file_fingerprint.h"

#include "engine/apply/file_system.h"
#include "engine/model/json.h"

#include <cerrno>

#include <sys/stat.h>

namespace sorvik {

namespace {
    constexpr std::string_view sizeKey = "size";
    constexpr std::string_view modifiedKey = "modified";
    constexpr std::string_view inodeKey = "inode";
} // namespace

FileFingerprint::FileFingerprint(const FileURL& url)
{
    struct stat status { };
    if (::lstat(url.path.c_str(), &status) != 0)
        throwSystemError("Couldn't read the attributes of", url.path);
    size = static_cast<std::int64_t>(status.st_size);
    modified = Date::fromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    inode = static_cast<std::uint64_t>(status.st_ino);
}

void to_json(nlohmann::json& json, const FileFingerprint& fingerprint)
{
    json = nlohmann::json::object();
    json[sizeKey] = fingerprint.size;
    json[modifiedKey] = fingerprint.modified;
    json[inodeKey] = fingerprint.inode;
}

void from_json(const nlohmann::json& json, FileFingerprint& fingerprint)
{
    fingerprint.size = json::field<std::int64_t>(json, sizeKey);
    fingerprint.modified = json::field<Date>(json, modifiedKey);
    fingerprint.inode = json::field<std::uint64_t>(json, inodeKey);
}

} // namespace sorvik
