// SPDX-License-Identifier: MIT
#pragma once

#include "linkerror.h"
#include "mscomm.h"
#include "pollhook.h"

#include <QMetaObject>
#include <QStringList>

#include <functional>
#include <utility>

// A serial control under the test's hand: it records what the window wrote,
// holds an input buffer the test fills, fails on request, and raises OnComm
// queued, as the real one does.
class FakeMSComm : public MSComm
{
    Q_OBJECT
public:
    using MSComm::MSComm;

    // What the window wrote.
    int commPort = 0;
    QString settings;
    int handshaking = -1;
    bool dtr = false, rts = false, eof = false;
    int inputMode = 0;
    bool open = false;
    int openCalls = 0, closeCalls = 0;
    QList<QByteArray> output; // one element per hand-over

    // What the test sets.
    bool cts = false, dsr = false, cd = false;
    QByteArray inBuffer;
    QByteArray held; // past the bound: only takeEverything() takes it
    QString failOpenWith;     // non-empty: opening throws this description
    std::function<void()> onOpen; // run as opening starts (it may throw anything)
    PollHook onPoll; // run once, at the next InBufferCount()
    qint64 inBufferSize = 1 << 20;
    qint64 outBufferCount = 0; // what has not gone out yet
    qint64 outBufferSize = 64 * 1024;
    bool openSilentlyFails = false; // opening leaves the port closed
    QString failSettingsWith;
    QString failOutputWith;
    QString failLinesWith; // non-empty: the line keys throw this description
    qint32 speed = 0;      // what actualSpeed() reports while open
    int event = 0;
    // What the line keys did, in order: "DTR 1", "RTS 0", "break 1", ...
    QStringList lineActions;

    // Queue an OnComm with `code`, delivered by the event loop.
    void raise(int code)
    {
        QMetaObject::invokeMethod(this, [this, code] {
            event = code;
            emit OnComm();
        }, Qt::QueuedConnection);
    }

    void setCommPort(int port) override { commPort = port; }
    void setSettings(const QString &s) override
    {
        if (!failSettingsWith.isEmpty())
            throw LinkError(failSettingsWith);
        settings = s;
    }
    QString Settings() const override { return settings; }
    void setHandshaking(int h) override { handshaking = h; }
    void setDTREnable(bool on) override { dtr = on; }
    void setRTSEnable(bool on) override { rts = on; }
    void setEOFEnable(bool on) override { eof = on; }
    void setInputMode(int mode) override { inputMode = mode; }
    void setPortOpen(bool o) override
    {
        if (o) {
            ++openCalls;
            if (onOpen)
                onOpen();
            if (!failOpenWith.isEmpty())
                throw LinkError(failOpenWith);
            open = !openSilentlyFails;
        } else {
            ++closeCalls;
            open = false;
            inBuffer.clear();
        }
    }
    bool PortOpen() const override { return open; }
    void setDTRLine(bool high) override { lineAction(QStringLiteral("DTR"), high); }
    void setRTSLine(bool high) override { lineAction(QStringLiteral("RTS"), high); }
    void setBreak(bool on) override { lineAction(QStringLiteral("break"), on); }
    qint32 actualSpeed() const override { return open ? speed : 0; }
    bool CTSHolding() const override { return cts; }
    bool DSRHolding() const override { return dsr; }
    bool CDHolding() const override { return cd; }
    // As the real one: a close empties it, a failure (the test sets `open`
    // false) keeps it.
    qint64 InBufferSize() const override { return inBufferSize; }
    qint64 InBufferCount() const override
    {
        onPoll.fire();
        return inBuffer.size();
    }
    QByteArray InputBytes() override { return take(); }
    QByteArray takeEverything() override { return take() + std::exchange(held, QByteArray()); }
    void OutputText(const QString &text) override { out(text.toUtf8()); }
    void OutputBytes(const QByteArray &bytes) override { out(bytes); }
    qint64 OutBufferCount() const override { return open ? outBufferCount : 0; }
    qint64 OutBufferSize() const override { return outBufferSize; }
    int CommEvent() const override { return event; }
    QString portDevice(int port) const override { return QStringLiteral("/dev/fake%1").arg(port); }

private:
    void lineAction(const QString &line, bool on)
    {
        if (!open)
            throw LinkError(line + QStringLiteral(": the port is not open"));
        if (!failLinesWith.isEmpty())
            throw LinkError(failLinesWith);
        lineActions.append(line + (on ? QStringLiteral(" 1") : QStringLiteral(" 0")));
    }
    QByteArray take()
    {
        QByteArray all = inBuffer;
        inBuffer.clear();
        return all;
    }
    void out(const QByteArray &bytes)
    {
        if (!failOutputWith.isEmpty())
            throw LinkError(failOutputWith);
        output.append(bytes);
    }
};
