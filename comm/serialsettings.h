// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

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

    // Reads `text` into `settings`, unless it is wrong: the problem is then
    // a plain sentence saying what is (without the device name).
    static Problem parse(const QString &text, SerialSettings *settings);
};
