// SPDX-License-Identifier: MIT
#include "serialdevice.h"

#include "spoolfile.h"
#include "syserror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The link entry for `port`, if there is something at its place.
QFileInfo linkEntry(int port)
{
    return QFileInfo(SerialDevice::linkDirectory() + QStringLiteral("/com%1").arg(port));
}

// mkdir -p, reporting where and why it stopped (QDir::mkpath says neither).
Problem makePath(const QString &dir)
{
    for (qsizetype at = 1; at <= dir.size(); ++at) {
        if (at < dir.size() && dir.at(at) != u'/')
            continue;
        const QString part = dir.left(at);
        if (::mkdir(QFile::encodeName(part).constData(), 0777) != 0 && errno != EEXIST)
            return systemProblem(part);
    }
    return Problem();
}

} // namespace

QString SerialDevice::linkDirectory()
{
    return configFolder(QStringLiteral("comm"));
}

QString SerialDevice::accessHint(const QString &device)
{
    struct stat st;
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return QString();
    if (st.st_gid == ::getegid())
        return QString();
    std::vector<gid_t> groups(size_t(std::max(0, ::getgroups(0, nullptr))));
    if (!groups.empty() && ::getgroups(int(groups.size()), groups.data()) >= 0
        && std::find(groups.begin(), groups.end(), st.st_gid) != groups.end())
        return QString();
    const group *g = ::getgrgid(st.st_gid);
    const QString name = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    const passwd *user = ::getpwuid(::geteuid());
    const QString me = user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
    return QStringLiteral("members of the group %1 may use it (sudo adduser %2 %1, then log in again)").arg(name, me);
}

namespace {
QMap<int, QString> &forThisRun()
{
    static QMap<int, QString> devices;
    return devices;
}
} // namespace

void SerialDevice::useForThisRun(int port, const QString &device)
{
    forThisRun().insert(port, QDir::cleanPath(QDir::current().absoluteFilePath(device)));
}

QString SerialDevice::named(int port)
{
    if (forThisRun().contains(port))
        return forThisRun().value(port);
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

Problem SerialDevice::characterDevice(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return systemProblem(path);
    if (!S_ISCHR(st.st_mode))
        return Problem(path + QStringLiteral(": not a character device (a serial port is one)"));
    return Problem();
}

bool SerialDevice::isBound(int port)
{
    return linkEntry(port).isSymLink();
}

Problem SerialDevice::bind(int port, const QString &device)
{
    const QString dir = linkDirectory();
    if (Problem problem = makePath(dir))
        return problem;
    const QByteArray link = QFile::encodeName(linkEntry(port).filePath());
    // Made beside the link and renamed over it: rename replaces atomically.
    const QByteArray temporary =
        QFile::encodeName(dir + QStringLiteral("/.com%1.%2.tmp").arg(port).arg(::getpid()));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(device).constData(), temporary.constData()) != 0)
        return systemProblem(dir);
    if (::rename(temporary.constData(), link.constData()) != 0) {
        const Problem problem = systemProblem(QFile::decodeName(link));
        ::unlink(temporary.constData());
        return problem;
    }
    return Problem();
}

Problem SerialDevice::unbind(int port)
{
    const QFileInfo entry = linkEntry(port);
    if (!entry.isSymLink())
        return Problem();
    const QByteArray link = QFile::encodeName(entry.filePath());
    if (::unlink(link.constData()) != 0 && errno != ENOENT)
        return systemProblem(entry.filePath());
    return Problem();
}
