#pragma once

#include <QObject>

#include <optional>
#include <string>

namespace sorvik {

// The store of the watch folders that rename arriving files with a preset. The state store
// makes one on first use and keeps it; watching itself is not part of this class yet: it
// holds no folders and reports no problem.
class WatchFolderStore : public QObject {
    Q_OBJECT

public:
    explicit WatchFolderStore(QObject* parent = nullptr);
    ~WatchFolderStore() override;
    Q_DISABLE_COPY_MOVE(WatchFolderStore)

    /// The last problem with loading or watching, as the user reads it; nothing when none.
    const std::optional<std::string>& error() const { return m_error; }

signals:
    void errorChanged();

private:
    std::optional<std::string> m_error;
};

} // namespace sorvik
