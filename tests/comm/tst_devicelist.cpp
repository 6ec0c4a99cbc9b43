// SPDX-License-Identifier: MIT
#include "devicelist.h"
#include "portwatch.h"
#include "serialdevice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <grp.h>
#include <unistd.h>

// XDG_CONFIG_HOME set for a test's time.
struct ConfigHome
{
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    explicit ConfigHome(const QString &dir) { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir)); }
    ~ConfigHome() { had ? void(qputenv("XDG_CONFIG_HOME", saved)) : void(qunsetenv("XDG_CONFIG_HOME")); }
};

// The serial devices found under a fake /dev and /sys, and the links that
// bind a port to one.
class DeviceListTest : public QObject
{
    Q_OBJECT
private:
    std::optional<QTemporaryDir> tree; // the fake root, fresh for each test
    QString root() const { return tree->path(); }

    QString at(const QString &path) const { return tree->filePath(path); }
    void file(const QString &path, const QByteArray &text = {})
    {
        QVERIFY(QDir().mkpath(QFileInfo(at(path)).path()));
        QFile f(at(path));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void link(const QString &target, const QString &path)
    {
        QVERIFY(QDir().mkpath(QFileInfo(at(path)).path()));
        QVERIFY(QFile::link(target, at(path)));
    }
    // A tty in sysfs whose device is `device` (under sys/devices).
    void sysTty(const QString &name, const QString &device)
    {
        QVERIFY(QDir().mkpath(at("sys/devices/" + device)));
        link("../../../devices/" + device, "sys/class/tty/" + name + "/device");
    }

private slots:
    void init() { tree.emplace(); }
    void devicesInOrderWithDescriptions();
    void emptyTreeHasNone();
    void linkStepsLeaveOnlyTheLink();
    void refusedDeviceNamesTheGroupThatMayUseIt();
    void watchFollowsTheLinksToTheDevice();
    void watchTriesAgainUntilItOpens();
};

void DeviceListTest::devicesInOrderWithDescriptions()
{
    for (const char *name : {"ttyUSB0", "ttyUSB2", "ttyUSB10", "ttyUSBx", "ttyACM0", "ttyS0", "ttyS1", "ttyS2",
                             "ttyS3", "ttyS10", "tty0", "console"})
        file(QStringLiteral("dev/") + name);
    link("../../ttyUSB0", "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    link("../../ttyACM0", "dev/serial/by-id/usb-Arduino_Uno_75-if00");
    link("../../ttyUSB7", "dev/serial/by-id/usb-gone-if00-port0"); // unplugged

    // An FTDI adapter behind a hub whose own product must not be taken.
    file("sys/devices/usb1/idVendor", "1d6b\n");
    file("sys/devices/usb1/product", "xHCI Host Controller\n");
    sysTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    file("sys/devices/usb1/1-1/idVendor", "0403\n");
    file("sys/devices/usb1/1-1/product", "FT232R USB UART\n");
    file("sys/devices/usb1/1-1/manufacturer", "FTDI\n");
    // No product string: the maker's, with the interface's own name.
    sysTty("ttyUSB2", "usb1/1-2/1-2:1.1/ttyUSB2");
    file("sys/devices/usb1/1-2/idVendor", "10c4\n");
    file("sys/devices/usb1/1-2/manufacturer", "Silicon Labs\n");
    file("sys/devices/usb1/1-2/1-2:1.1/interface", "Standard Com Port\n");
    // An ACM tty's device is the interface itself.
    sysTty("ttyACM0", "usb1/1-3/1-3:1.0");
    file("sys/devices/usb1/1-3/idVendor", "2341\n");
    file("sys/devices/usb1/1-3/product", "Arduino Uno\n");
    // ttyS: a found 16550A; an empty 8250 slot; a slot without driver; a
    // driver that reports no type; a real one without a device node.
    const QList<std::pair<const char *, const char *>> uarts{
        {"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS3", nullptr}, {"ttyS10", "32"}, {"ttyS11", "4"}};
    for (const auto &[name, type] : uarts) {
        sysTty(name, QStringLiteral("port/") + name);
        file(QStringLiteral("sys/devices/port/%1/driver/bind").arg(name));
        if (type)
            file(QStringLiteral("sys/class/tty/%1/type").arg(name), QByteArray(type) + '\n');
    }
    sysTty("ttyS2", "port/ttyS2");
    file("sys/class/tty/ttyS2/type", "4\n");

    QStringList labels;
    for (const SerialDeviceInfo &device : listSerialDevices(root()))
        labels << device.label().remove(root());
    QCOMPARE(labels, (QStringList{"/dev/serial/by-id/usb-Arduino_Uno_75-if00  (ttyACM0)",
                                  "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0  (ttyUSB0)",
                                  "/dev/ttyUSB0  (FT232R USB UART)", "/dev/ttyUSB2  (Silicon Labs, Standard Com Port)",
                                  "/dev/ttyUSB10", "/dev/ttyACM0  (Arduino Uno)", "/dev/ttyS0", "/dev/ttyS3",
                                  "/dev/ttyS10"}));
}

void DeviceListTest::emptyTreeHasNone()
{
    QVERIFY(listSerialDevices(root()).isEmpty());
    QVERIFY(QDir().mkpath(at("dev/serial/by-id")) && QDir().mkpath(at("sys/class/tty")));
    QVERIFY(listSerialDevices(root()).isEmpty());
}

void DeviceListTest::linkStepsLeaveOnlyTheLink()
{
    // (Binding through the menu is tested with the window.)
    const ConfigHome home(root());
    Problem problem;
    QVERIFY2(!(problem = SerialDevice::bind(2, "/dev/ttyUSB0")) && !(problem = SerialDevice::bind(2, "/dev/ttyACM1")),
             qPrintable(problem.description()));
    QCOMPARE(QDir(at("comm")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"com2"});
    QVERIFY(!SerialDevice::unbind(2) && !SerialDevice::unbind(2)); // a missing link is no failure
    // Something other than a link is the user's, not ours to remove.
    file("comm/com3");
    QVERIFY(!SerialDevice::isBound(3) && !SerialDevice::unbind(3));
    QCOMPARE(QDir(at("comm")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"com3"});
}

void DeviceListTest::refusedDeviceNamesTheGroupThatMayUseIt()
{
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    // Our own group: nothing to tell.
    QCOMPARE(SerialDevice::accessHint(device), QString());
    QCOMPARE(SerialDevice::accessHint(dir.filePath(QStringLiteral("missing"))), QString());
    // A group this process is not in, as dialout is for a new user.
    const group *other = ::getgrnam("nogroup");
    if (!other || ::chown(QFile::encodeName(device).constData(), uid_t(-1), other->gr_gid) != 0)
        QSKIP("cannot give the file another group here");
    const QString hint = SerialDevice::accessHint(device);
    QVERIFY2(hint.startsWith(QStringLiteral("members of the group nogroup may use it (sudo adduser ")), qPrintable(hint));
    QVERIFY(hint.endsWith(QStringLiteral(" nogroup, then log in again)")));
}

// The device comes back at the end of a chain of links whose folders do
// not exist yet: the watch moves down as they appear, and opens once the
// path leads to a character device.
void DeviceListTest::watchFollowsTheLinksToTheDevice()
{
    QVERIFY(QDir().mkpath(at("config")));
    const QString port = at("config/com1");
    QVERIFY(QFile::link(at("dev/serial/by-id/usb-X"), port));
    PortWatch watch;
    int opens = 0;
    watch.start(port, [&] { return ++opens > 0; });
    QCOMPARE(watch.folders(), (QStringList{at("config"), root()}));
    QTest::qWait(20);
    QCOMPARE(opens, 0);

    QVERIFY(QDir().mkpath(at("dev/serial/by-id")));
    QTRY_VERIFY(watch.folders().contains(at("dev/serial/by-id")));
    QCOMPARE(opens, 0);
    // A plain file is no device: still waiting.
    file("dev/serial/by-id/usb-X");
    QTest::qWait(20);
    QCOMPARE(opens, 0);
    QVERIFY(QFile::remove(at("dev/serial/by-id/usb-X")));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), at("dev/serial/by-id/usb-X")));
    QTRY_COMPARE(opens, 1);
    QVERIFY(!watch.watching());
    QVERIFY(watch.folders().isEmpty());
}

// An opener that cannot open yet is called again without any change, and
// the watch ends when it can; a stop ends the retries.
void DeviceListTest::watchTriesAgainUntilItOpens()
{
    const QString device = at("ttyX");
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), device));
    PortWatch watch;
    int tries = 0;
    watch.start(device, [&] { return ++tries == 4; });
    QTRY_COMPARE(tries, 4);
    QVERIFY(!watch.watching());

    tries = 0;
    watch.start(device, [&] { return ++tries > 1000; });
    QTRY_VERIFY(tries >= 2);
    watch.stop();
    const int stopped = tries;
    QTest::qWait(3 * PortWatch::kLongestRetryMs);
    QCOMPARE(tries, stopped);
}

QTEST_GUILESS_MAIN(DeviceListTest)
#include "tst_devicelist.moc"
