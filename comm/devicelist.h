// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

// A serial device present on this machine, as the port list's menu offers it.
struct SerialDeviceInfo
{
    QString path;        // e.g. "/dev/ttyUSB0" (under the root it was listed from)
    QString description; // e.g. "FT232R USB UART"; empty where the system has none

    // "path  (description)", or the path alone.
    QString label() const;
};

// The serial devices under `root` (its dev/ and sys/): the stable names of
// /dev/serial/by-id first (by name, dangling ones left out), then ttyUSB,
// ttyACM and the ttyS ports that have a real UART behind them, each family
// by number. Read afresh at each call.
QList<SerialDeviceInfo> listSerialDevices(const QString &root = QStringLiteral("/"));
