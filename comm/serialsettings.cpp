// SPDX-License-Identifier: MIT
#include "serialsettings.h"

#include <QStringList>

Problem SerialSettings::parse(const QString &text, SerialSettings *settings)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return Problem(
            QStringLiteral("the settings \"%1\" are not of the form speed,parity,data bits,stop bits").arg(text));
    SerialSettings parsed;

    bool ok = false;
    const QString speedText = fields[0].trimmed();
    const qlonglong speed = speedText.toLongLong(&ok);
    if (!ok || speed <= 0 || speed > std::numeric_limits<qint32>::max())
        return Problem(QStringLiteral("the speed \"%1\" is not a number of bits per second").arg(speedText));
    parsed.speed = qint32(speed);

    const QString parity = fields[1].trimmed().toUpper();
    if (parity == u"E")
        parsed.parity = QSerialPort::EvenParity;
    else if (parity == u"M")
        parsed.parity = QSerialPort::MarkParity;
    else if (parity == u"N")
        parsed.parity = QSerialPort::NoParity;
    else if (parity == u"O")
        parsed.parity = QSerialPort::OddParity;
    else if (parity == u"S")
        parsed.parity = QSerialPort::SpaceParity;
    else
        return Problem(QStringLiteral("the parity \"%1\" is not one of E, M, N, O, S").arg(fields[1].trimmed()));

    const QString bitsText = fields[2].trimmed();
    const int bits = bitsText.toInt(&ok);
    if (!ok)
        return Problem(QStringLiteral("the data bits \"%1\" are not a number").arg(bitsText));
    switch (bits) {
    case 5: parsed.dataBits = QSerialPort::Data5; break;
    case 6: parsed.dataBits = QSerialPort::Data6; break;
    case 7: parsed.dataBits = QSerialPort::Data7; break;
    case 8: parsed.dataBits = QSerialPort::Data8; break;
    default:
        return Problem(QStringLiteral("%1 data bits are not supported on this system (only 5, 6, 7 or 8)").arg(bits));
    }

    const QString stop = fields[3].trimmed();
    if (stop == u"1") {
        parsed.stopBits = QSerialPort::OneStop;
    } else if (stop == u"2") {
        parsed.stopBits = QSerialPort::TwoStop;
    } else if (stop == u"1.5") {
        // termios has one bit for the stop bits: one or two.
        return Problem(QStringLiteral("1.5 stop bits are not supported on this system (only 1 or 2)"));
    } else {
        return Problem(QStringLiteral("the stop bits \"%1\" are not 1 or 2").arg(stop));
    }

    *settings = parsed;
    return Problem();
}
