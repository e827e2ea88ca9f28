#pragma once

#include "engine/model/file_url.h"

#include <QObject>

#include <vector>

namespace sorvik {

/// Tells the watch folder store that something may have changed below its folders. Events
/// carry no work: they only make the next tick look at the folders again. Where changes can
/// arrive without an event, `needsPolling` says so and the store looks at every tick.
class WatchEventSource : public QObject {
    Q_OBJECT

public:
    /// A watched folder.
    struct Root {
        FileURL folder;
        bool includeSubfolders = false;
    };

    using QObject::QObject;
    Q_DISABLE_COPY_MOVE(WatchEventSource)

    /// Watches `roots` from now on, instead of what was watched before; nothing at or below
    /// `excluded` is watched.
    virtual void watch(const std::vector<Root>& roots, const FileURL& excluded) = 0;
    /// Watches nothing.
    virtual void stop() = 0;
    /// Whether a change below a watched folder may go unreported: events could not be set up,
    /// a folder is gone, or its file system does not report every change.
    virtual bool needsPolling() const = 0;
    /// Tries again to watch a folder that was gone; called once a second while watching.
    virtual void retry() = 0;

signals:
    /// Something changed below a watched folder, or events were lost.
    void changed();
};

} // namespace sorvik
