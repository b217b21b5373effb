#include "app/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

namespace quiro {

InstanceLock::InstanceLock(const QString &path) : lock_(path) {
    // A lock is stale only when its holder has gone, never because it is old: the program
    // runs for hours.
    lock_.setStaleLockTime(0);
}

QString InstanceLock::defaultPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/quiro.lock");
}

bool InstanceLock::acquire() { return lock_.isLocked() || lock_.tryLock(0); }

} // namespace quiro
