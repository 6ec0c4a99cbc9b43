// SPDX-License-Identifier: MIT
#pragma once

#include "commandline.h"

class FrmSockbay;

// sockbay's command line: the ports and the remote address, and listening
// or connecting once the window shows; with the options both tools take.
// Each sets the window as the same typing and clicks would.
class SockbayCommandLine
{
public:
    SockbayCommandLine();

    // Before the window is made: -1 to go on, else the exit status.
    int parse(const QStringList &arguments);
    // On the made window, before it shows: -1, or the exit status.
    int applyTo(FrmSockbay &window);

private:
    Problem check();
    // `option`'s value as the window rewrites a port box, when it is a port
    // number from `lowest` up.
    Problem checkPort(const QCommandLineOption &option, int lowest, QString *normalised);

    CommandLine m_line;
    QCommandLineOption m_localPort;
    QCommandLineOption m_remotePort;
    QCommandLineOption m_remoteAddress;
    QCommandLineOption m_listen;
    QCommandLineOption m_multi;
    QCommandLineOption m_connect;
    QString m_local, m_remote;
};
