// SPDX-License-Identifier: MIT
#include "serialline.h"

#include "syserror.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace SerialLine {

namespace {

// The kernel's termios2, which carries the rate as a number. (Its header
// clashes with the C library's termios, so the layout is written here.)
struct KernelTermios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);
// The kernel's "rate given as a number" speed code, and where the input
// rate's code sits in c_cflag (asm-generic/termbits-common.h).
constexpr tcflag_t kBother = 0010000;
constexpr int kInputRateShift = 16;

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
    // The speed bits are written back as read: for a rate termios does not
    // name they say "other", and the kernel keeps the rate that was set.
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

bool setBreak(int fd, bool on)
{
    return ioctlRetry(fd, on ? TIOCSBRK : TIOCCBRK, nullptr) == 0;
}

bool isNamedRate(qint32 bitsPerSecond)
{
    static constexpr qint32 kNamed[] = {50,     75,     110,     134,     150,     200,     300,     600,
                                        1200,   1800,   2400,    4800,    9600,    19200,   38400,   57600,
                                        115200, 230400, 460800,  500000,  576000,  921600,  1000000, 1152000,
                                        1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    return std::find(std::begin(kNamed), std::end(kNamed), bitsPerSecond) != std::end(kNamed);
}

Problem setOtherRate(int fd, qint32 bitsPerSecond)
{
    KernelTermios2 t{};
    if (ioctlRetry(fd, kGetTermios2, &t) != 0)
        return systemProblem();
    // The input rate follows the output's (no separate input bits).
    t.c_cflag &= ~(tcflag_t(CBAUD) | (tcflag_t(CBAUD) << kInputRateShift));
    t.c_cflag |= kBother;
    t.c_ispeed = t.c_ospeed = speed_t(bitsPerSecond);
    if (ioctlRetry(fd, kSetTermios2, &t) != 0)
        return systemProblem();
    return Problem();
}

qint32 lineSpeed(int fd)
{
    KernelTermios2 t{};
    if (ioctlRetry(fd, kGetTermios2, &t) != 0)
        return 0;
    return t.c_ospeed <= speed_t(std::numeric_limits<qint32>::max()) ? qint32(t.c_ospeed) : 0;
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
