// SPDX-License-Identifier: MIT
#include "spoolfile.h"

#include "syserror.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

QString spoolFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache))
        return cache;
    return QDir::tempPath();
}

QString configFolder(const QString &tool)
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base
    // directory rules say.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + u'/' + tool);
}

int openSpoolFile(const QString &folder, const char *stem, Problem *why)
{
    const QByteArray name = QFile::encodeName(folder);
    int fd = ::open(name.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file system without unnamed files: a named one, unlinked at once.
        QByteArray path = name + '/' + stem + "-XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(path.constData());
    }
    if (fd < 0 && why)
        *why = systemProblem(folder);
    return fd;
}
