#include "dsp/RunTree.h"

#include <QDir>
#include <QFileInfo>

namespace quiro {

QString runTreeOf(const QString &executableDir) {
    return QDir::cleanPath(executableDir + QStringLiteral("/.."));
}

QString defaultOutput(const QString &runTree, const QString &name) {
    if (QFileInfo::exists(runTree + QStringLiteral("/CMakeCache.txt")))
        return runTree + QLatin1Char('/') + name;
    return name;
}

} // namespace quiro
