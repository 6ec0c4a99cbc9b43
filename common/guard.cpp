#include "guard.h"

#include "linkerror.h"

#include <cstdio>
#include <exception>
#include <unistd.h>

void RunGuarded(const std::function<void()> &handler, const std::function<void(const QString &)> &report)
{
    try {
        handler();
    } catch (const LinkError &e) {
        report(e.description());
    } catch (const std::exception &e) {
        report(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        report(QStringLiteral("未知错误"));
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
