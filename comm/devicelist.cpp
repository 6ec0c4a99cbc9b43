// SPDX-License-Identifier: MIT
#include "devicelist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// The first line of a small sysfs attribute; empty if it is missing.
QString attribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(1024)).section(u'\n', 0, 0).trimmed();
}

// The entries of `dev` named `prefix` and a number, by number (ttyUSB2
// before ttyUSB10). Device nodes are "system" entries to QDir.
QStringList numbered(const QDir &dev, const QString &prefix)
{
    QList<std::pair<int, QString>> found;
    const QStringList names = dev.entryList({prefix + u'*'}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString digits = name.mid(prefix.size());
        if (digits.isEmpty()
            || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            continue;
        bool ok = false;
        const int number = digits.toInt(&ok);
        if (ok)
            found.append({number, name});
    }
    std::sort(found.begin(), found.end());
    QStringList out;
    for (const auto &entry : found)
        out << entry.second;
    return out;
}

// What the USB device behind tty `name` calls itself: its product string
// (else its maker's), and the interface's own string where it has a
// different one (a dual-port bridge names each port so). Walks up from the
// tty's device only as far as the USB device, which has idVendor: beyond it
// are hubs with products of their own.
QString usbDescription(const QString &sys, const QString &name)
{
    const QString top = QFileInfo(sys).canonicalFilePath();
    QString dir = QFileInfo(sys + QStringLiteral("/class/tty/") + name + QStringLiteral("/device")).canonicalFilePath();
    QString interfaceName;
    for (int level = 0; level < 4 && !dir.isEmpty() && dir.startsWith(top + u'/'); ++level) {
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            QString product = attribute(dir + QStringLiteral("/product"));
            if (product.isEmpty())
                product = attribute(dir + QStringLiteral("/manufacturer"));
            if (interfaceName.isEmpty() || interfaceName == product)
                return product;
            return product.isEmpty() ? interfaceName : product + QStringLiteral(", ") + interfaceName;
        }
        if (interfaceName.isEmpty())
            interfaceName = attribute(dir + QStringLiteral("/interface"));
        dir = QFileInfo(dir).path();
    }
    return interfaceName;
}

// The kernel makes a ttyS for every slot the 8250 driver reserves, present
// or not. A real port has a driver bound to its device, and serial core
// reports the UART it found as `type`: 0 (PORT_UNKNOWN) is an empty slot.
// Where there is no `type` the bound driver alone decides.
bool realUart(const QString &sys, const QString &name)
{
    const QString tty = sys + QStringLiteral("/class/tty/") + name;
    if (!QFileInfo::exists(tty + QStringLiteral("/device/driver")))
        return false;
    bool ok = false;
    const int type = attribute(tty + QStringLiteral("/type")).toInt(&ok);
    return !ok || type != 0;
}

} // namespace

QString SerialDeviceInfo::label() const
{
    return description.isEmpty() ? path : path + QStringLiteral("  (") + description + u')';
}

QList<SerialDeviceInfo> listSerialDevices(const QString &root)
{
    const QString devPath = QDir::cleanPath(root + QStringLiteral("/dev"));
    const QString sys = QDir::cleanPath(root + QStringLiteral("/sys"));
    QList<SerialDeviceInfo> out;

    // A by-id name stays with the adapter however it is plugged: the one to
    // bind to. Its description is the tty it leads to now.
    const QDir byId(devPath + QStringLiteral("/serial/by-id"));
    QStringList links = byId.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    std::sort(links.begin(), links.end());
    for (const QString &name : links) {
        const QString target = QFileInfo(byId.filePath(name)).canonicalFilePath();
        if (!target.isEmpty())
            out.append({byId.filePath(name), QFileInfo(target).fileName()});
    }

    const QDir dev(devPath);
    for (const QString &prefix : {QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")})
        for (const QString &name : numbered(dev, prefix))
            out.append({dev.filePath(name), usbDescription(sys, name)});
    for (const QString &name : numbered(dev, QStringLiteral("ttyS")))
        if (realUart(sys, name))
            out.append({dev.filePath(name), QString()});
    return out;
}
