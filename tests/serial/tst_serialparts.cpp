// SPDX-License-Identifier: MIT
// The control's pure parts: the mark decoder, the settings reader and the
// device links.
#include "ptypair.h"
#include "serialdevice.h"
#include "serialmarkdecoder.h"
#include "serialsettings.h"

#include <QDir>
#include <QFile>
#include <QTest>

class SerialPartsTest : public QObject
{
    Q_OBJECT
private slots:
    void decodeMarks_data();
    void decodeMarks();
    void readSettings_data();
    void readSettings();
    void refuseSettings_data();
    void refuseSettings();
    void resolveDevices();
};

void SerialPartsTest::decodeMarks_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("breaks");
    QTest::addColumn<int>("errors");

    const QByteArray nul(1, '\0');
    QTest::newRow("plain, NUL included") << QByteArray("a") + nul + "b" << QByteArray("a") + nul + "b" << 0 << 0;
    QTest::newRow("doubled 0xFF") << QByteArray("\377\377x\377\377") << QByteArray("\377x\377") << 0 << 0;
    QTest::newRow("break") << QByteArray("ab") + QByteArray("\377\0\0", 3) + "cd" << QByteArray("abcd") << 1 << 0;
    QTest::newRow("bad byte reads ?") << QByteArray("a\377\0Xb", 5) << QByteArray("a?b") << 0 << 1;
    QTest::newRow("bad 0xFF byte") << QByteArray("\377\0\377", 3) << QByteArray("?") << 0 << 1;
    QTest::newRow("marks back to back")
        << QByteArray("\377\0\0\377\0A\377\377\377\0B", 11) << QByteArray("?\377?") << 1 << 2;
    QTest::newRow("stray 0xFF kept") << QByteArray("\377Z") << QByteArray("\377Z") << 0 << 0;
}

void SerialPartsTest::decodeMarks()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, data);
    QFETCH(int, breaks);
    QFETCH(int, errors);

    // Whole, and cut at every place (a mark split across two reads), and
    // one byte per read: the same data and the same marks each time.
    for (qsizetype cut = 0; cut <= raw.size(); ++cut) {
        SerialMarkDecoder decoder;
        QByteArray out;
        const auto first = decoder.decode(raw.constData(), cut, out);
        const auto second = decoder.decode(raw.constData() + cut, raw.size() - cut, out);
        QCOMPARE(out, data);
        QCOMPARE(first.breaks + second.breaks, breaks);
        QCOMPARE(first.errors + second.errors, errors);
    }
    SerialMarkDecoder decoder;
    QByteArray out;
    int seenBreaks = 0, seenErrors = 0;
    for (char c : raw) {
        const auto marks = decoder.decode(&c, 1, out);
        seenBreaks += marks.breaks;
        seenErrors += marks.errors;
    }
    QCOMPARE(out, data);
    QCOMPARE(seenBreaks, breaks);
    QCOMPARE(seenErrors, errors);
}

void SerialPartsTest::readSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("defaults") << "9600,N,8,1" << 9600 << int(QSerialPort::NoParity) << 8 << int(QSerialPort::OneStop);
    QTest::newRow("even 7 2") << "300,E,7,2" << 300 << int(QSerialPort::EvenParity) << 7 << int(QSerialPort::TwoStop);
    QTest::newRow("mark 5") << "128000,M,5,1" << 128000 << int(QSerialPort::MarkParity) << 5 << int(QSerialPort::OneStop);
    QTest::newRow("space 6") << "256000,S,6,2" << 256000 << int(QSerialPort::SpaceParity) << 6 << int(QSerialPort::TwoStop);
    QTest::newRow("odd, lower case") << "14400,o,8,1" << 14400 << int(QSerialPort::OddParity) << 8 << int(QSerialPort::OneStop);
}

void SerialPartsTest::readSettings()
{
    QFETCH(QString, text);
    SerialSettings settings;
    const Problem problem = SerialSettings::parse(text, &settings);
    QVERIFY2(!problem, qPrintable(problem.description()));
    QTEST(int(settings.speed), "speed");
    QTEST(int(settings.parity), "parity");
    QTEST(int(settings.dataBits), "dataBits");
    QTEST(int(settings.stopBits), "stopBits");
}

void SerialPartsTest::refuseSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");

    QTest::newRow("4 data bits") << "9600,N,4,1" << "4 data bits are not supported";
    QTest::newRow("1.5 stop bits") << "9600,N,8,1.5" << "1.5 stop bits are not supported";
    QTest::newRow("three fields") << "9600,N,8" << "not of the form speed,parity,data bits,stop bits";
    QTest::newRow("empty") << "" << "not of the form";
    QTest::newRow("speed not a number") << "fast,N,8,1" << "speed \"fast\"";
    QTest::newRow("speed zero") << "0,N,8,1" << "speed \"0\"";
    QTest::newRow("parity letter") << "9600,X,8,1" << "parity \"X\" is not one of E, M, N, O, S";
    QTest::newRow("9 data bits") << "9600,N,9,1" << "9 data bits are not supported";
    QTest::newRow("stop bits 3") << "9600,N,8,3" << "stop bits \"3\"";
}

void SerialPartsTest::refuseSettings()
{
    QFETCH(QString, text);
    QFETCH(QString, says);
    SerialSettings settings;
    settings.speed = 1234;
    const Problem problem = SerialSettings::parse(text, &settings);
    QVERIFY(problem);
    QVERIFY2(problem.description().contains(says), qPrintable(problem.description()));
    QCOMPARE(settings.speed, 1234); // untouched
}

void SerialPartsTest::resolveDevices()
{
    PtyPair pty; // sets XDG_CONFIG_HOME to its own directory
    QVERIFY(pty.isValid());
    QCOMPARE(SerialDevice::linkDirectory(), QDir::cleanPath(pty.configHome() + QStringLiteral("/comm")));

    pty.linkAs(1);
    QCOMPARE(SerialDevice::named(1), pty.devicePath());
    QCOMPARE(SerialDevice::toOpen(1), pty.devicePath());
    // No link: the port number counts from /dev/ttyS0.
    QCOMPARE(SerialDevice::named(2), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(SerialDevice::named(4), QStringLiteral("/dev/ttyS3"));

    // A link to a link (as under /dev/serial/by-id) shows the user's name
    // and opens the device itself.
    const QString byId = pty.configHome() + QStringLiteral("/by-id-adapter");
    QVERIFY(QFile::link(pty.devicePath(), byId));
    pty.linkTo(3, byId);
    QCOMPARE(SerialDevice::named(3), byId);
    QCOMPARE(SerialDevice::toOpen(3), pty.devicePath());

    // A dangling link names its target; a relative one is taken from the
    // link's directory.
    pty.linkTo(2, QStringLiteral("../nowhere/ttyUSB9"));
    QCOMPARE(SerialDevice::named(2), pty.configHome() + QStringLiteral("/nowhere/ttyUSB9"));
    QCOMPARE(SerialDevice::toOpen(2), SerialDevice::named(2));

    // A link made while running counts at once.
    QCOMPARE(SerialDevice::named(4), QStringLiteral("/dev/ttyS3"));
    pty.linkAs(4);
    QCOMPARE(SerialDevice::named(4), pty.devicePath());

    // Without XDG_CONFIG_HOME (or with a relative one) the links live under
    // ~/.config.
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    QCOMPARE(SerialDevice::linkDirectory(), QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config/comm")));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(SerialDevice::linkDirectory(), QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config/comm")));
    qputenv("XDG_CONFIG_HOME", saved);
}

QTEST_MAIN(SerialPartsTest)
#include "tst_serialparts.moc"
