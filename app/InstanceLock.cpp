#include "app/InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

namespace quiro {

namespace {

const QString LockName = QStringLiteral("quiro.lock");

} // namespace

InstanceLock::InstanceLock(const Place &place)
    : path_(place.path), problem_(place.problem), lock_(place.path) {
    // A lock is stale only when its holder has gone, never because it is old: the program
    // runs for hours.
    lock_.setStaleLockTime(0);
}

QString InstanceLock::folderProblem(const QString &dir) {
    const QFileInfo info(dir);
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (!info.isDir())
        return QStringLiteral("is not a folder");
    if (!info.isWritable())
        return QStringLiteral("cannot be written");
#if defined(Q_OS_UNIX)
    // Where files have an owner and mode bits. (On Windows Qt derives the bits from the
    // read-only attribute alone, and the user's own profile folders are private.)
    if (info.permissions() & (QFile::WriteGroup | QFile::WriteOther))
        return QStringLiteral("other users can write into it");
    // Its owner, compared with this user's as the owner of the user's own home.
    if (info.ownerId() != QFileInfo(QDir::homePath()).ownerId())
        return QStringLiteral("belongs to another user");
#endif
    return {};
}

InstanceLock::Place InstanceLock::thisUsersPlace() {
    QStringList tried;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString why = folderProblem(runtime);
        if (why.isEmpty())
            return {runtime + QLatin1Char('/') + LockName};
        tried << runtime + QStringLiteral(": ") + why;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString own = cache + QStringLiteral("/quiro");
    if (!cache.isEmpty() && !QFileInfo::exists(own)) {
        QDir().mkpath(cache);
        QDir().mkdir(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString why = cache.isEmpty() ? QStringLiteral("no cache folder") : folderProblem(own);
    if (why.isEmpty())
        return {own + QLatin1Char('/') + LockName};
    tried << own + QStringLiteral(": ") + why;
    return {{},
            QStringLiteral("no folder only this user can write for the lock file (") +
                tried.join(QStringLiteral("; ")) + QLatin1Char(')')};
}

InstanceLock::Outcome InstanceLock::unusable(const QString &why) {
    problem_ = path_ + QStringLiteral(": ") + why;
    return Outcome::Unusable;
}

bool InstanceLock::holdsLiveCopy() {
    // QLockFile has already taken over a lock whose process has gone on this host. What it
    // leaves: a live process of this program here, or a record it cannot judge.
    qint64 pid = 0;
    QString host, program;
    return lock_.getLockInfo(&pid, &host, &program) && host == QSysInfo::machineHostName();
}

InstanceLock::Outcome InstanceLock::acquire() {
    if (path_.isEmpty())
        return Outcome::Unusable;
    if (lock_.isLocked())
        return Outcome::Acquired;
    // Only a regular file is read: a FIFO would block, a folder or a link is not a lock.
    const QFileInfo there(path_);
    if (there.isSymLink())
        return unusable(QStringLiteral("is a symbolic link, not a lock file"));
    if (there.exists() && !there.isFile())
        return unusable(there.isDir() ? QStringLiteral("is a folder, not a lock file")
                                      : QStringLiteral("is not a regular file"));
    if (const QString why = folderProblem(there.absolutePath()); !why.isEmpty())
        return unusable(QStringLiteral("its folder ") + why);
    if (lock_.tryLock(0))
        return Outcome::Acquired;
    if (lock_.error() == QLockFile::LockFailedError) {
        if (holdsLiveCopy())
            return Outcome::HeldByAnotherCopy;
        // Empty, unreadable, or from another host: no copy here holds it. A holder that is
        // alive keeps its own lock on the file, and then it cannot be removed.
        if (lock_.removeStaleLockFile() && lock_.tryLock(0))
            return Outcome::Acquired;
        if (holdsLiveCopy())
            return Outcome::HeldByAnotherCopy;
        return unusable(
            QStringLiteral("holds no record of a running copy but cannot be taken over"));
    }
    return unusable(lock_.error() == QLockFile::PermissionError
                        ? QStringLiteral("cannot be created here (no permission)")
                        : QStringLiteral("cannot be created"));
}

} // namespace quiro
