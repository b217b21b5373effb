#pragma once
// The previous-instance test: one running copy per user. The lock is a file, "quiro.lock", in a
// folder only this user can write (see defaultPath), that records the holder's process id, host
// and program. Only a live copy of the console on this machine keeps it: a lock whose process has
// gone, one written on another host, and an empty or unreadable one are taken over. Anything
// else in its place (a folder, a FIFO, a link), or a folder that cannot be written, makes the lock
// unusable, with the file and the reason in problem(); it is never waited on.

#include <QLockFile>
#include <QString>

namespace quiro {

class InstanceLock {
public:
    // Where the lock file lives: its path, or none with the reason.
    struct Place {
        Place(QString lockPath = {}, QString why = {})
            : path(std::move(lockPath)), problem(std::move(why)) {}
        QString path;    // empty: no usable place
        QString problem; // why, when there is none
    };
    explicit InstanceLock(const Place &place);

    // The lock file for this user: "quiro.lock" in the runtime folder ($XDG_RUNTIME_DIR) when it
    // is a folder only this user can write, otherwise in "quiro" under the user's cache folder,
    // made for it (mode 0700) when missing. A folder that others can write, or that belongs to
    // someone else, is never used; where neither will do, the place says why.
    static Place thisUsersPlace();

    // Why `dir` may not hold the lock, or empty when it may: it must be a folder this user can
    // write, that no one else can write (no write bit for the group or others).
    static QString folderProblem(const QString &dir);

    enum class Outcome { Acquired, HeldByAnotherCopy, Unusable };
    Outcome acquire();
    // For Unusable: the lock file and why it cannot be used.
    const QString &problem() const { return problem_; }
    void release() { lock_.unlock(); }

private:
    bool holdsLiveCopy();
    Outcome unusable(const QString &why);

    QString path_;
    QString problem_;
    QLockFile lock_;
};

} // namespace quiro
