#include "serialdevice.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The link entry for `port`, if there is something at its place.
QFileInfo linkEntry(int port)
{
    return QFileInfo(SerialDevice::linkDirectory() + QStringLiteral("/com%1").arg(port));
}

} // namespace

QString SerialDevice::linkDirectory()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base
    // directory rules say.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/comm"));
}

QString SerialDevice::named(int port)
{
    const QFileInfo entry = linkEntry(port);
    if (entry.isSymLink())
        return QDir::cleanPath(entry.symLinkTarget());
    if (entry.exists())
        return entry.absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString SerialDevice::toOpen(int port)
{
    const QString device = named(port);
    const QString canonical = QFileInfo(device).canonicalFilePath();
    // A dangling link has no canonical path: open the name itself, so the
    // error names what the user wrote.
    return canonical.isEmpty() ? device : canonical;
}
