// SPDX-License-Identifier: MIT
// The interposer behind VirtualUart (see virtualuart.h). The definitions of
// ioctl, tcgetattr and tcsetattr below live in the test executable, so the
// dynamic linker binds every library's calls to them; they hand what is not
// the attached UART's to the next definition (the C library's, or a
// sanitizer's interceptor in front of it). tcsetattr and tcgetattr are taken
// over as well because the C library reaches the kernel from them without
// passing through ioctl().
#include "virtualuart.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <linux/serial.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

// The kernel's termios layouts. Every one, the C library's included, starts
// with the four flag words.
struct KernelTermios
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
};
struct KernelTermios2 : KernelTermios
{
    speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);
constexpr unsigned long kSetTermios2W = _IOW('T', 0x2C, KernelTermios2);
constexpr unsigned long kSetTermios2F = _IOW('T', 0x2D, KernelTermios2);

constexpr int kInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI;
constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

struct Uart
{
    int inputs = 0;
    int outputs = kOutputs;
    int dtrWrites = 0, rtsWrites = 0;
    serial_icounter_struct counters{};
    bool refuseCounters = false;
    unsigned speedLimit = 0;
    std::vector<VirtualUart::LineEvent> lineEvents;
    bool flagsSet = false;
    VirtualUart::Flags flags;
};

std::atomic<dev_t> g_device{0};
std::mutex g_lock;
Uart g_uart;

template<typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using IoctlFunction = int (*)(int, unsigned long, ...);
using GetAttrFunction = int (*)(int, termios *);
using SetAttrFunction = int (*)(int, int, const termios *);

bool isUart(int fd)
{
    const dev_t device = g_device.load();
    if (device == 0)
        return false;
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device;
}

// What is read back: the flags the pty forces or that are kept off it come
// from what the program set.
void patchRead(KernelTermios *t)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_uart.flagsSet)
        return;
    t->c_iflag = (t->c_iflag & ~PARMRK) | (g_uart.flags.iflag & PARMRK);
    // A pty forces 8 bits without parity; a UART keeps what it was given.
    const tcflag_t kept = CSIZE | PARENB;
    t->c_cflag = (t->c_cflag & ~kept) | (g_uart.flags.cflag & kept);
}

// Records what the program sets; the pty gets it without PARMRK.
void recordSet(KernelTermios *t)
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_uart.flags = {t->c_iflag, t->c_oflag, t->c_cflag, t->c_lflag};
        g_uart.flagsSet = true;
    }
    t->c_iflag &= ~PARMRK;
}

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void note(VirtualUart::LineEvent::What what)
{
    g_uart.lineEvents.push_back({what, nowMs()});
}

void writeOutputs(int bits, bool on)
{
    using E = VirtualUart::LineEvent;
    if (bits & TIOCM_DTR) {
        ++g_uart.dtrWrites;
        note(on ? E::DtrHigh : E::DtrLow);
    }
    if (bits & TIOCM_RTS) {
        ++g_uart.rtsWrites;
        note(on ? E::RtsHigh : E::RtsLow);
    }
    if (on)
        g_uart.outputs |= bits & kOutputs;
    else
        g_uart.outputs &= ~(bits & kOutputs);
}

// The modem line requests, answered here; false for any other request.
bool answerLines(unsigned long request, void *arg, int *result)
{
    std::lock_guard<std::mutex> hold(g_lock);
    *result = 0;
    switch (request) {
    case TIOCMGET: *static_cast<int *>(arg) = g_uart.inputs | g_uart.outputs; return true;
    case TIOCMSET: {
        const int bits = *static_cast<const int *>(arg);
        writeOutputs(kOutputs & bits, true);
        writeOutputs(kOutputs & ~bits, false);
        return true;
    }
    case TIOCSBRK: note(VirtualUart::LineEvent::BreakOn); return true;
    case TIOCCBRK: note(VirtualUart::LineEvent::BreakOff); return true;
    case TCSBRK:
    case TCSBRKP: note(VirtualUart::LineEvent::TimedBreak); return true;
    case TIOCMBIS: writeOutputs(*static_cast<const int *>(arg), true); return true;
    case TIOCMBIC: writeOutputs(*static_cast<const int *>(arg), false); return true;
    case TIOCGICOUNT:
        if (g_uart.refuseCounters) {
            errno = EINVAL;
            *result = -1;
        } else {
            *static_cast<serial_icounter_struct *>(arg) = g_uart.counters;
        }
        return true;
    default: return false;
    }
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    static const IoctlFunction real = next<IoctlFunction>("ioctl");
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (!isUart(fd))
        return real(fd, request, arg);

    int result;
    if (answerLines(request, arg, &result))
        return result;
    switch (request) {
    case TCGETS:
    case kGetTermios2:
        result = real(fd, request, arg);
        if (result == 0)
            patchRead(static_cast<KernelTermios *>(arg));
        return result;
    case TCSETS:
    case TCSETSW:
    case TCSETSF: {
        KernelTermios t = *static_cast<const KernelTermios *>(arg);
        recordSet(&t);
        return real(fd, request, &t);
    }
    case kSetTermios2:
    case kSetTermios2W:
    case kSetTermios2F: {
        KernelTermios2 t = *static_cast<const KernelTermios2 *>(arg);
        {
            std::lock_guard<std::mutex> hold(g_lock);
            if (g_uart.speedLimit != 0 && (t.c_ospeed > g_uart.speedLimit || t.c_ispeed > g_uart.speedLimit)) {
                errno = EINVAL;
                return -1;
            }
        }
        recordSet(&t);
        return real(fd, request, &t);
    }
    default: return real(fd, request, arg);
    }
}

extern "C" int tcgetattr(int fd, termios *t) noexcept
{
    static const GetAttrFunction real = next<GetAttrFunction>("tcgetattr");
    const int result = real(fd, t);
    if (result == 0 && isUart(fd)) {
        KernelTermios flags{t->c_iflag, t->c_oflag, t->c_cflag, t->c_lflag, 0, {}};
        patchRead(&flags);
        t->c_iflag = flags.c_iflag;
        t->c_cflag = flags.c_cflag;
    }
    return result;
}

extern "C" int tcsetattr(int fd, int action, const termios *t) noexcept
{
    static const SetAttrFunction real = next<SetAttrFunction>("tcsetattr");
    if (!isUart(fd))
        return real(fd, action, t);
    termios copy = *t;
    KernelTermios flags{copy.c_iflag, copy.c_oflag, copy.c_cflag, copy.c_lflag, 0, {}};
    recordSet(&flags);
    copy.c_iflag = flags.c_iflag;
    return real(fd, action, &copy);
}

namespace VirtualUart {

bool inEffect()
{
    return ::dlsym(RTLD_DEFAULT, "ioctl") == reinterpret_cast<void *>(&ioctl)
        && ::dlsym(RTLD_DEFAULT, "tcgetattr") == reinterpret_cast<void *>(&tcgetattr)
        && ::dlsym(RTLD_DEFAULT, "tcsetattr") == reinterpret_cast<void *>(&tcsetattr);
}

bool attach(const char *path)
{
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    std::lock_guard<std::mutex> hold(g_lock);
    g_uart = Uart();
    g_device = st.st_rdev;
    return true;
}

void detach()
{
    g_device = 0;
}

void setInput(int line, bool high)
{
    std::lock_guard<std::mutex> hold(g_lock);
    const int was = g_uart.inputs;
    if (high)
        g_uart.inputs |= line & kInputs;
    else
        g_uart.inputs &= ~(line & kInputs);
    const int changed = was ^ g_uart.inputs;
    serial_icounter_struct &c = g_uart.counters;
    c.cts += bool(changed & TIOCM_CTS);
    c.dsr += bool(changed & TIOCM_DSR);
    c.dcd += bool(changed & TIOCM_CD);
    c.rng += bool(changed & TIOCM_RI & was);
}

void count(Counter which)
{
    std::lock_guard<std::mutex> hold(g_lock);
    serial_icounter_struct &c = g_uart.counters;
    switch (which) {
    case Frame: ++c.frame; break;
    case Overrun: ++c.overrun; break;
    case Parity: ++c.parity; break;
    case Break: ++c.brk; break;
    case BufferOverrun: ++c.buf_overrun; break;
    }
}

void refuseCounters(bool refuse)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_uart.refuseCounters = refuse;
}

int outputs()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_uart.outputs;
}

int outputWrites(int line)
{
    std::lock_guard<std::mutex> hold(g_lock);
    return line == TIOCM_DTR ? g_uart.dtrWrites : line == TIOCM_RTS ? g_uart.rtsWrites : 0;
}

std::vector<LineEvent> lineEvents()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_uart.lineEvents;
}

void refuseSpeedsAbove(unsigned bitsPerSecond)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_uart.speedLimit = bitsPerSecond;
}

Flags settings()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_uart.flags;
}

} // namespace VirtualUart
