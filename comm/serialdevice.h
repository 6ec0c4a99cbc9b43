// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QString>

// Where port number n (COMn) leads. The user names a device once with a
// link "comn" in $XDG_CONFIG_HOME/comm/ (~/.config/comm/ by default), for
// instance to /dev/ttyUSB0; without a link COMn is /dev/ttyS<n-1>. Read
// afresh at each call, so a link made while the program runs counts.
class SerialDevice
{
public:
    // The directory that holds the links.
    static QString linkDirectory();
    // The device as the user named it: the one given for this run, else the
    // link's target (absolute), else the /dev/ttyS fallback. For the port
    // list and for messages.
    static QString named(int port);
    // Makes COMn name `device` for this run of the program only (a device
    // given on the command line); no link is written.
    static void useForThisRun(int port, const QString &device);
    // The path to open: the named device with every link resolved where it
    // exists (so that two names of one device share one lock).
    static QString toOpen(int port);

    // What to tell a user who may not open `device`: the group that may,
    // when this process is not in it, and how to join it; else empty.
    static QString accessHint(const QString &device);

    // `path`, its links followed, is a character device (as every serial
    // port is); else the problem, naming the path.
    static Problem characterDevice(const QString &path);

    // There is a link for COMn (what unbind() would remove).
    static bool isBound(int port);
    // Make COMn name `device`: the link directory is made if missing and an
    // existing link replaced in one step, so a reader never finds none.
    // A problem names the path it concerns.
    static Problem bind(int port, const QString &device);
    // Remove COMn's link (a missing one is no failure); anything else at its
    // place is left alone.
    static Problem unbind(int port);
};
