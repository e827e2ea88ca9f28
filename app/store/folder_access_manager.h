#pragma once

#include "app/store/access_prompt.h"
#include "app/store/bookmark_file.h"
#include "app/store/folder_coverage.h"
#include "app/store/folder_scope_lease.h"
#include "engine/model/file_url.h"

#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sorvik {

// The folders the user has granted, the only ones sorvik renames in. Each grant is kept as a
// bookmark in "bookmarks.plist" in the application folder (folder path -> bookmark data,
// rewritten atomically after every change). At start-up every stored grant is resolved in path
// order and its access is opened and held by a lease for the life of the manager; a grant
// whose folder has moved is refreshed under its new path, replacing the old entry. A folder is
// granted while its bookmark is stored, and open while its lease is held.
//
// Start-up never throws: a failure is kept in `errorMessage`; a grant whose folder cannot be
// found is skipped (and kept, for when it comes back) while the others open, and is named, with
// what it means and what the user can do, in `errorMessage` and by `notFoundFolders`. `grant`
// throws and then changes nothing; `requestAccess` and `remove` record their failures in
// `errorMessage`. Lives on the GUI thread.
class FolderAccessManager : public QObject {
    Q_OBJECT

public:
    using Leases = std::map<FileURL, std::unique_ptr<FolderScopeLease>>;

    /// What a granted folder that could not be opened means, and what the user can do, as its
    /// row in the settings says it.
    static constexpr const char* notFoundExplanation
        = "It may have been moved or deleted, or be on a disk that isn\u2019t connected. "
          "Connect the disk or put the folder back and open sorvik again, or remove it.";

    /// The accept label and message of the dialog that asks for a folder.
    static constexpr const char* allowLabel = "Allow";
    static constexpr const char* allowMessage = "Allow access to the folder containing your files.";

    /// Loads the grants and opens them; legacy grants are moved to the application folder.
    explicit FolderAccessManager(QObject* parent = nullptr);
    ~FolderAccessManager() override;
    Q_DISABLE_COPY_MOVE(FolderAccessManager)

    /// The granted folders whose access is held, in the order they were opened.
    const std::vector<FileURL>& folders() const { return m_folders; }
    /// The description of the last failure of start-up, granting or removing.
    const std::optional<std::string>& errorMessage() const { return m_errorMessage; }
    /// Why the stored grants could not be read at start-up. Until they read again, nothing is
    /// granted and the file is never written over: granting and removing fail with this.
    const std::optional<std::string>& storageError() const { return m_storageError; }
    /// Exactly what "bookmarks.plist" holds after the last successful write.
    const BookmarkMap& bookmarks() const { return m_bookmarks; }
    /// The stored grants whose folder is not open (it could not be found at start-up), by the
    /// path they were granted under, in path order. They stay stored, for when the folder
    /// comes back.
    std::vector<FileURL> notFoundFolders() const;
    /// The text that names the grants of `notFoundFolders` that could not be opened, with
    /// what that means and what the user can do; nothing when there are none.
    static std::optional<std::string> notFoundText(const std::vector<FileURL>& folders);

    /// One lease per open folder.
    const Leases& active() const { return m_active; }
    /// Where the grants are stored.
    const FileURL& storage() const { return m_storage; }

    /// The dialog that `requestAccess` shows; not owned, may be null (then nothing is asked).
    void setAccessPrompt(AccessPrompt* prompt) { m_prompt = prompt; }

    /// Sets the failure text shown with the granted folders (also used when adding files
    /// fails to grant a folder).
    void setErrorMessage(std::optional<std::string> message);

    /// True when `url` is a granted folder or lies below one. Both sides are standardized and
    /// their symbolic links resolved (for a path that does not exist yet, those of its longest
    /// existing part); texts compare under canonical equivalence, case-sensitively.
    bool covers(const FileURL& url) const;
    /// `covers` over a copy of `folders()`, for work away from the manager's thread.
    static bool covers(const std::vector<FileURL>& folders, const FileURL& url);
    /// The same test for many folders, each granted folder and each folder resolved once;
    /// for one batch or one preview. It keeps its own copy of the granted folders, so it may
    /// be used away from the manager's thread.
    FolderCoverage coverage() const;

    /// Runs `body` with access started on the granted folders that hold `urls`, and stopped
    /// again afterwards whether `body` returns or throws. Fails with `FileError`
    /// (`fileWriteNoPermission`) before starting anything when a URL is not covered.
    template <class Body> decltype(auto) withAccess(const std::vector<FileURL>& urls, Body&& body)
    {
        AccessBatch batch(startAccessFor(urls));
        return std::forward<Body>(body)();
    }

    /// Grants the folder at `folder`: stores its bookmark and opens it. Fails with
    /// `FileError` (`fileReadUnsupportedScheme` for something that is not a folder) and then
    /// changes nothing.
    void grant(const FileURL& folder);

    /// Asks the user for a folder to grant, starting in `folder`; a failure to grant it goes
    /// to `errorMessage`. Cancelling does nothing.
    void requestAccess(const FileURL& folder);

    /// Forgets the granted folder and ends its access. Every stored grant that names the
    /// folder goes, so it does not come back at the next start. When the file cannot be
    /// written, the failure goes to `errorMessage` and the folder stays granted and open.
    void remove(const FileURL& folder);

signals:
    void foldersChanged();
    void errorMessageChanged();
    void bookmarksChanged();
    void activeChanged();

private:
    /// Stops the accesses of one `withAccess` call when it ends.
    class AccessBatch {
    public:
        explicit AccessBatch(std::vector<FileURL> started)
            : m_started(std::move(started))
        {
        }
        ~AccessBatch();
        AccessBatch(const AccessBatch&) = delete;
        AccessBatch& operator=(const AccessBatch&) = delete;

    private:
        std::vector<FileURL> m_started;
    };

    void load();
    /// Records an opened folder: a lease unless one is held already (then the access just
    /// started is given back), and a place in `folders` unless it is listed.
    void open(const FileURL& folder);
    /// Writes the grants, unless the stored ones could not be read (then it fails and the
    /// file stays as it is).
    void writeBookmarks(const BookmarkMap& bookmarks) const;
    std::vector<FileURL> startAccessFor(const std::vector<FileURL>& urls) const;

    void setFolders(std::vector<FileURL> folders);
    void setBookmarks(BookmarkMap bookmarks);

    std::vector<FileURL> m_folders;
    std::optional<std::string> m_errorMessage;
    std::optional<std::string> m_storageError;
    BookmarkMap m_bookmarks;
    Leases m_active;
    FileURL m_storage;
    AccessPrompt* m_prompt = nullptr;
};

} // namespace sorvik
