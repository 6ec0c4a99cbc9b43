// SPDX-License-Identifier: MIT
#include "serialline.h"

#include "syserror.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace SerialLine {

namespace {

int ioctlRetry(int fd, unsigned long request, void *arg)
{
    return retryOnInterrupt([&] { return ::ioctl(fd, request, arg); });
}

bool setModemBit(int fd, int bit, bool on)
{
    return ioctlRetry(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

} // namespace

Problem applyInputFlags(int fd, bool softwareFlow)
{
    termios t;
    if (::tcgetattr(fd, &t) != 0)
        return systemProblem();
    t.c_iflag |= INPCK | PARMRK;
    t.c_iflag &= ~(IGNPAR | IGNBRK | BRKINT | ISTRIP);
    if (softwareFlow)
        t.c_iflag |= IXON | IXOFF;
    // The speed bits are written back as read: for a rate outside the
    // standard list they say "other", and the kernel keeps the rate Qt set.
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return systemProblem();
    return Problem();
}

bool inputMarked(int fd)
{
    termios t;
    if (::tcgetattr(fd, &t) != 0)
        return false;
    return (t.c_iflag & (INPCK | PARMRK)) == (INPCK | PARMRK) && !(t.c_iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP));
}

bool readCounters(int fd, Counters *counters)
{
    serial_icounter_struct ic{};
    if (ioctlRetry(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    counters->cts = ic.cts;
    counters->dsr = ic.dsr;
    counters->rng = ic.rng;
    counters->dcd = ic.dcd;
    counters->frame = ic.frame;
    counters->overrun = ic.overrun;
    counters->parity = ic.parity;
    counters->brk = ic.brk;
    counters->bufOverrun = ic.buf_overrun;
    return true;
}

bool readLevels(int fd, Levels *levels)
{
    int bits = 0;
    if (ioctlRetry(fd, TIOCMGET, &bits) != 0)
        return false;
    levels->cts = bits & TIOCM_CTS;
    levels->dsr = bits & TIOCM_DSR;
    levels->cd = bits & TIOCM_CD;
    levels->ring = bits & TIOCM_RI;
    return true;
}

bool setDtr(int fd, bool on)
{
    return setModemBit(fd, TIOCM_DTR, on);
}

bool setRts(int fd, bool on)
{
    return setModemBit(fd, TIOCM_RTS, on);
}

void discardQueues(int fd)
{
    ::tcflush(fd, outputQueued(fd) > 0 ? TCIOFLUSH : TCIFLUSH);
}

qint64 outputQueued(int fd)
{
    int queued = 0;
    return ioctlRetry(fd, TIOCOUTQ, &queued) == 0 ? qMax(0, queued) : 0;
}

} // namespace SerialLine
