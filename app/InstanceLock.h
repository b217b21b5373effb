#pragma once
// The previous-instance test: one running copy per user. The lock is a file in the user's
// runtime folder that records the holder's process id, so a lock left behind by a copy that
// crashed is recognised as stale and taken over by the next start.

#include <QLockFile>
#include <QString>

namespace quiro {

class InstanceLock {
public:
    explicit InstanceLock(const QString &path);

    // The lock file for this user: "quiro.lock" in the runtime folder.
    static QString defaultPath();

    // True if this copy now holds the lock; false if another running copy holds it.
    bool acquire();
    void release() { lock_.unlock(); }

private:
    QLockFile lock_;
};

} // namespace quiro
