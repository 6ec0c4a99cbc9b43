#include "guard.h"

#include "linkerror.h"

#include <cstdio>
#include <exception>
#include <unistd.h>

QString CaughtFailure()
{
    try {
        throw;
    } catch (const LinkError &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}

void RunGuarded(const std::function<void()> &handler, const std::function<void(const QString &)> &report)
{
    try {
        handler();
    } catch (...) {
        report(CaughtFailure());
    }
}

namespace {
std::function<void()> &quitHook()
{
    static std::function<void()> h;
    return h;
}
} // namespace

void QuitProgram()
{
    if (quitHook()) {
        quitHook()();
        return;
    }
    // "At once": no nested pause may resume and write to the log, so the
    // event loops are not unwound. The kernel closes the port or socket.
    std::fflush(nullptr);
    ::_exit(0);
}

void SetQuitHook(std::function<void()> hook)
{
    quitHook() = std::move(hook);
}
