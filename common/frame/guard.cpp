// SPDX-License-Identifier: MIT
#include "guard.h"

#include "linkerror.h"

#include <QObject>

#include <algorithm>
#include <vector>

#include <cstdio>
#include <exception>
#include <new>
#include <unistd.h>

QString caughtFailure()
{
    try {
        throw;
    } catch (const LinkError &e) {
        return e.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("内存不足：信息无法再增长，这一项未能记入（收到的数据仍可由“保存接收数据…”存下）");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}

void runGuarded(const std::function<void()> &handler, const std::function<void(const QString &)> &report)
{
    try {
        handler();
    } catch (...) {
        try {
            report(caughtFailure());
        } catch (...) {
            // The report itself failed (no memory left even for it): nothing
            // more can be said, and nothing may reach the event loop.
        }
    }
}

namespace {
std::function<void()> &quitHook()
{
    static std::function<void()> h;
    return h;
}

struct QuitWork
{
    QObject *owner;
    std::function<void()> work;
};

std::vector<QuitWork> &quitWork()
{
    static std::vector<QuitWork> w;
    return w;
}
} // namespace

void atQuit(QObject *owner, std::function<void()> work)
{
    quitWork().push_back({owner, std::move(work)});
    QObject::connect(owner, &QObject::destroyed, [owner] {
        auto &all = quitWork();
        all.erase(std::remove_if(all.begin(), all.end(), [owner](const QuitWork &w) { return w.owner == owner; }),
                  all.end());
    });
}

void quitProgram()
{
    for (const QuitWork &w : quitWork())
        w.work();
    if (quitHook()) {
        quitHook()();
        return;
    }
    // "At once": no nested pause may resume and write to the log, so the
    // event loops are not unwound. The kernel closes the port or socket.
    std::fflush(nullptr);
    ::_exit(0);
}

void setQuitHook(std::function<void()> hook)
{
    quitHook() = std::move(hook);
}
