#include "app/store/folder_scope_lease.h"

#include "app/store/security_scope.h"

namespace sorvik {

FolderScopeLease::FolderScopeLease(FileURL url)
    : m_url(std::move(url))
{
}

FolderScopeLease::~FolderScopeLease() { SecurityScope::stopAccessing(m_url); }

} // namespace sorvik
