#pragma once

#include "engine/model/file_url.h"

namespace sorvik {

/// Holds the access to one granted folder that was started just before the lease was made,
/// and ends it when the lease is destroyed.
class FolderScopeLease {
public:
    /// Takes over one access already started on `url`.
    explicit FolderScopeLease(FileURL url);
    ~FolderScopeLease();
    FolderScopeLease(const FolderScopeLease&) = delete;
    FolderScopeLease& operator=(const FolderScopeLease&) = delete;

    const FileURL& url() const { return m_url; }

private:
    const FileURL m_url;
};

} // namespace sorvik
