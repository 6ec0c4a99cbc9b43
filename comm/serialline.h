// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QtGlobal>

// What Qt Serial Port leaves out on Linux, done on the port's descriptor:
// input marking of line errors, XON/XOFF next to hardware flow control, the
// modem lines and the kernel's line counters. Each call says whether the
// device supports it; a pseudo-terminal supports the termios ones only.
namespace SerialLine {

// The kernel's running counts of line events on one port.
struct Counters
{
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// Levels of the modem inputs, and of the ring indicator.
struct Levels
{
    bool cts = false, dsr = false, cd = false, ring = false;
};

// Marks breaks and bad bytes in the input ("\377\0\0", "\377\0X", a literal
// 0xFF doubled) instead of dropping them or raising signals; adds IXON and
// IXOFF when `softwareFlow`. Qt rewrites the input flags whenever one of its
// settings changes, so this follows each of those calls.
Problem applyInputFlags(int fd, bool softwareFlow);

// Reads the input flags back: true when marking is in force.
bool inputMarked(int fd);

bool readCounters(int fd, Counters *counters);
bool readLevels(int fd, Levels *levels);
// Raises or drops DTR or RTS; false with errno set when the device has no
// such line.
bool setDtr(int fd, bool on);
bool setRts(int fd, bool on);
// Starts or ends a break (the line held at space); false with errno set.
bool setBreak(int fd, bool on);

// The rates termios names (B50 to B4000000), which Qt sets itself.
bool isNamedRate(qint32 bitsPerSecond);
// Sets any other rate through the kernel's arbitrary-rate interface
// (termios2 with BOTHER), both directions; the problem is the system's.
Problem setOtherRate(int fd, qint32 bitsPerSecond);

// The rate the driver runs the line at, as it reports it back (a driver
// may round what it was asked); 0 where it cannot say.
qint32 lineSpeed(int fd);

// Throws away what waits to come in, and what the driver holds to go out
// (a close would wait for a stalled line to take it). Only that much is
// lost, as outputQueued() counts it: what a pseudo-terminal has passed on
// stays readable at its far end.
void discardQueues(int fd);
// Bytes the driver holds that have not gone out on the line yet (0 where
// it cannot say).
qint64 outputQueued(int fd);

} // namespace SerialLine
