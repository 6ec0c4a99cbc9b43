// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QEventLoop>
#include <QList>
#include <QTimer>

#include <chrono>
#include <thread>
#include <unistd.h>

// Runs the event loop as a program does, blocked until an event comes
// (QTest's waits nap between their turns, which would delay every read),
// until `done` holds or `timeoutMs` passed; returns `done()`.
template<typename Done>
bool runUntil(Done done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

// The far end of a link writing frames with silences between them, from a
// thread of its own (the window's thread keeps its own pace): frame i goes
// `afterMs[i]` after frame i - 1 was written, and when each was written is
// noted (ms since the epoch).
class FrameWriter
{
public:
    FrameWriter(int fd, QList<QByteArray> frames, QList<int> afterMs)
    {
        m_thread = std::thread([this, fd, frames, afterMs] {
            for (qsizetype i = 0; i < frames.size(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(afterMs.value(i)));
                m_writtenAt << QDateTime::currentMSecsSinceEpoch();
                for (qsizetype done = 0; done < frames[i].size();) {
                    const ssize_t n = ::write(fd, frames[i].constData() + done, size_t(frames[i].size() - done));
                    if (n <= 0)
                        return;
                    done += n;
                }
            }
        });
    }
    ~FrameWriter() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // After join().
    const QList<qint64> &writtenAt() const { return m_writtenAt; }

private:
    QList<qint64> m_writtenAt;
    std::thread m_thread;
};
