// SPDX-License-Identifier: MIT
#pragma once

#include <termios.h>
#include <vector>

// A virtual UART for the serial tests, made of a pseudo-terminal's device end.
//
// A pty has no modem lines, no line counters and no line errors. Linked into
// a test program, this library defines ioctl(), tcgetattr() and tcsetattr()
// for the whole process, Qt Serial Port included, and for the one device
// attached plays the parts a UART driver would:
// - TIOCMGET reads the inputs the test sets, with DTR and RTS as the program
//   holds them through TIOCMSET, TIOCMBIS and TIOCMBIC;
// - TIOCGICOUNT reads counters the test bumps, or is refused;
// - the termios flags read back are the ones the program set, while PARMRK
//   is kept off the pty, so that the kernel does not double 0xFF: the far end
//   writes exactly what a UART's line discipline delivers ("\377\377" for a
//   data 0xFF, "\377\0\0" for a break, "\377\0X" for a bad byte X).
// Every other descriptor, and every other request, goes to the C library.
namespace VirtualUart {

// Whether the dynamic linker binds ioctl, tcgetattr and tcsetattr to this
// library's definitions, so that every library's calls pass through it.
bool inEffect();

// Makes the tty device at `path` the UART, starting afresh: inputs low, DTR
// and RTS raised (as a driver raises them at open), counters at zero and
// offered, no settings recorded. False when `path` is no character device.
bool attach(const char *path);
void detach();

// Sets a modem input: TIOCM_CTS, TIOCM_DSR, TIOCM_CD or TIOCM_RI. A change
// counts as a UART's status interrupt counts it: every edge of CTS, DSR and
// CD, the trailing edge of RI.
void setInput(int line, bool high);

// The line error counters of TIOCGICOUNT.
enum Counter { Frame, Overrun, Parity, Break, BufferOverrun };
void count(Counter which);

// Refuses TIOCGICOUNT with EINVAL, as a driver without counters does.
void refuseCounters(bool refuse);

// DTR and RTS as the program holds them (TIOCM_DTR, TIOCM_RTS bits).
int outputs();
// How many times the program has set or cleared `line` (TIOCM_DTR or
// TIOCM_RTS) since attach().
int outputWrites(int line);

// What the program did to its outputs and to the line, in order, with when
// (milliseconds of the steady clock): DTR and RTS through TIOCMSET,
// TIOCMBIS and TIOCMBIC, a break through TIOCSBRK/TIOCCBRK, or a timed one
// through TCSBRK/TCSBRKP.
struct LineEvent
{
    enum What { DtrHigh, DtrLow, RtsHigh, RtsLow, BreakOn, BreakOff, TimedBreak } what;
    long long atMs;
};
std::vector<LineEvent> lineEvents();

// Refuses, with EINVAL, a rate above `bitsPerSecond` set through termios2,
// as a driver does that cannot run that fast; 0 takes any rate.
void refuseSpeedsAbove(unsigned bitsPerSecond);

// The termios flags the program last set on the UART.
struct Flags
{
    tcflag_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
};
Flags settings();

} // namespace VirtualUart
