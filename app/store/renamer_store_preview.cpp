#include "app/store/renamer_store.h"

#include "app/store/preview_planner.h"

#include <algorithm>

namespace sorvik {

namespace {

    /// The folder part of a path: everything before the last "/" ("/" for an item at the root).
    std::string_view parentPath(std::string_view path)
    {
        auto slash = path.rfind('/');
        if (slash == std::string_view::npos)
            return {};
        if (slash == 0)
            return "/";
        return path.substr(0, slash);
    }

    /// The parent folder of an item, on the path as given (not standardized), as the covering
    /// test receives it.
    std::string_view itemFolder(const FileItem& item)
    {
        std::string_view path = item.url.path;
        return parentPath(path);
    }

    bool isProblemOrAccess(const RenameStatus& status)
    {
        return status.isProblem() || status.kind == RenameStatus::Kind::needsAccess;
    }

} // namespace

// ---- Preview planning ----

void RenamerStore::refreshPreview()
{
    if (m_loading)
        return;
    ++m_revision;
    emit revisionChanged();
    auto request = PreviewPlanner::request(
        m_revision, m_items, m_sortKey, m_ascending, m_pairPhotos, m_rules, m_onlinePlaces);
    if (m_previewTask)
        m_previewTask->request_stop();
    setIsPlanning(true);

    std::stop_source task;
    m_previewTask = task;
    m_planningThreads.start(
        [this, request = std::move(request), services = m_services, stop = task.get_token()] {
            auto progress = [this, &stop](std::string text) {
                QMetaObject::invokeMethod(
                    this,
                    [this, stop, text = std::move(text)] {
                        // A newer request has begun: its own progress, or its rows, win.
                        if (!stop.stop_requested())
                            setAiProgress(text);
                    },
                    Qt::QueuedConnection);
            };
            auto result = PreviewPlanner::plan(request, services.get(), stop, progress);
            if (!result)
                return;
            auto planned = std::make_shared<PreviewResult>(std::move(*result));
            QMetaObject::invokeMethod(
                this,
                [this, stop, revision = request.revision, planned] {
                    if (stop.stop_requested())
                        return;
                    publish(revision, std::move(*planned));
                },
                Qt::QueuedConnection);
        });
}

void RenamerStore::publish(std::int64_t revision, PreviewResult&& result)
{
    if (revision != m_revision)
        return;
    m_metadataValues = std::move(result.metadata);
    emit metadataValuesChanged();
    m_rawPreviews = std::make_shared<const std::vector<PreviewRow>>(std::move(result.rows));
    m_previews.reset();
    m_coveredFolders.clear();
    m_coverage.reset();
    emit rawPreviewsChanged();
    emit previewsChanged();
    setIsPlanning(false);
    setAiProgress(std::nullopt);
}

const std::vector<PreviewRow>& RenamerStore::previews() const { return *previewsSnapshot(); }

std::shared_ptr<const std::vector<PreviewRow>> RenamerStore::previewsSnapshot() const
{
    if (m_previews)
        return m_previews;
    const auto& rows = *m_rawPreviews;
    // Rows come folder by folder, so the last answer is usually the next one too.
    std::string_view lastFolder;
    bool lastCovered = true;
    auto needsAccess = [&](const PreviewRow& row) {
        if (row.status.kind != RenameStatus::Kind::ready)
            return false;
        auto folder = itemFolder(row.item);
        if (lastFolder.data() == nullptr || folder != lastFolder) {
            lastFolder = folder;
            lastCovered = coversFolder(folder);
        }
        return !lastCovered;
    };
    auto first = std::find_if(rows.begin(), rows.end(), needsAccess);
    if (first == rows.end()) {
        m_previews = m_rawPreviews;
        return m_previews;
    }
    auto marked = std::make_shared<std::vector<PreviewRow>>(rows);
    for (auto index = std::size_t(first - rows.begin()); index < rows.size(); ++index) {
        if (needsAccess(rows[index]))
            (*marked)[index].status = RenameStatus::needsAccess();
    }
    m_previews = std::move(marked);
    return m_previews;
}

bool RenamerStore::isShown(const PreviewRow& row, std::string_view filter)
{
    if (filter == filterAll)
        return true;
    if (filter == filterChanges)
        return row.newName != row.item.url.lastPathComponent();
    return isProblemOrAccess(row.status);
}

std::vector<PreviewRow> RenamerStore::visiblePreviews() const
{
    const auto& rows = previews();
    if (m_filter == filterAll)
        return rows;
    std::vector<PreviewRow> shown;
    for (const auto& row : rows) {
        if (isShown(row, m_filter))
            shown.push_back(row);
    }
    return shown;
}

std::optional<FileURL> RenamerStore::folderNeedingAccess() const
{
    // Items come folder by folder: a folder just found covered needs no second look.
    std::string_view lastCovered;
    for (const auto& item : *m_items) {
        if (!item.included)
            continue;
        auto folder = itemFolder(item);
        if (lastCovered.data() != nullptr && folder == lastCovered)
            continue;
        if (!coversFolder(folder))
            return FileURL(folder, true);
        lastCovered = folder;
    }
    return std::nullopt;
}

} // namespace sorvik
