// SPDX-License-Identifier: MIT
#pragma once

#include "commandline.h"

class Form1;

// comm's command line: the port and its line settings, DTR, RTS, EOF, the
// carriage return, and opening the port once the window shows; with the
// options both tools take. Each sets the window as the same clicks would.
class CommCommandLine
{
public:
    CommCommandLine();

    // Before the window is made: -1 to go on, else the exit status. A device
    // path given for the port is used as COM1 from here on, for this run.
    int parse(const QStringList &arguments);
    // On the made window, before it shows: -1, or the exit status.
    int applyTo(Form1 &window);

private:
    Problem check();

    CommandLine m_line;
    QCommandLineOption m_port;
    QCommandLineOption m_baud;
    QCommandLineOption m_parity;
    QCommandLineOption m_data;
    QCommandLineOption m_stop;
    QCommandLineOption m_handshake;
    QCommandLineOption m_dtr;
    QCommandLineOption m_rts;
    QCommandLineOption m_eof;
    QCommandLineOption m_cr;
    QCommandLineOption m_open;
    QCommandLineOption m_reconnect;
    // The entry of each list to select (-1: as the window starts).
    int m_portIndex = -1, m_parityIndex = -1, m_dataIndex = -1, m_stopIndex = -1,
        m_handshakeIndex = -1;
    qint32 m_speed = 0; // 0: as the window starts
};
