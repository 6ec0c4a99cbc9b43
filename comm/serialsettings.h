// SPDX-License-Identifier: MIT
#pragma once

#include <QSerialPort>
#include <QString>

// The line settings of a settings string "speed,parity,data bits,stop bits"
// (as in "9600,N,8,1"), in the terms Qt Serial Port takes.
struct SerialSettings
{
    qint32 speed = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // Reads `text`. On failure returns false and sets `problem` to a plain
    // sentence saying what is wrong with it (without the device name).
    static bool parse(const QString &text, SerialSettings *settings, QString *problem);
};
