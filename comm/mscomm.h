// SPDX-License-Identifier: MIT
#pragma once

#include "link.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The serial control the serial tester drives (MSComm1). Members are named as
// the window's handlers name them. Writers that the control may refuse throw
// LinkError with the control's own description; setPortOpen(false) and the
// readers of received data never throw.
//
// Events: OnComm() is always delivered queued, on the window's thread; while
// a handler of it runs, CommEvent() tells which event it is.
class MSComm : public QObject, public Link
{
    Q_OBJECT
public:
    // CommEvent codes.
    enum : int {
        comEvSend = 1,
        comEvReceive = 2,
        comEvCTS = 3,
        comEvDSR = 4,
        comEvCD = 5,
        comEvRing = 6,
        comEvEOF = 7,
        comEventBreak = 1001,
        comEventCTSTO = 1002,
        comEventDSRTO = 1003,
        comEventFrame = 1004,
        comEventOverrun = 1006,
        comEventCDTO = 1007,
        comEventRxOver = 1008,
        comEventRxParity = 1009,
        comEventTxFull = 1010,
        comEventDCB = 1011,
    };
    enum : int { comInputModeText = 0, comInputModeBinary = 1 };
    enum : int { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };

    using QObject::QObject;

    // Written only while the port is closed.
    virtual void setCommPort(int port) = 0;
    // "speed,parity,data bits,stop bits", e.g. "9600,N,8,1".
    virtual void setSettings(const QString &settings) = 0;
    virtual QString Settings() const = 0;
    virtual void setHandshaking(int handshaking) = 0;
    virtual void setDTREnable(bool on) = 0;
    virtual void setRTSEnable(bool on) = 0;
    virtual void setEOFEnable(bool on) = 0;

    // Written at any time: how the window shows what it reads. The control
    // hands over bytes in either mode.
    virtual void setInputMode(int mode) = 0;

    // true opens (throws LinkError naming the device on failure); false
    // closes and never throws.
    virtual void setPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    // The line under the user's hand while the port is open: raise or drop
    // DTR or RTS and hold it so, start or end a break. Each throws LinkError
    // with the system's reason when the port is not open or the device
    // refuses (a pseudo-terminal has no modem lines; under RTS/CTS
    // handshaking the driver drives RTS); the port stays open either way.
    virtual void setDTRLine(bool high) = 0;
    virtual void setRTSLine(bool high) = 0;
    virtual void setBreak(bool on) = 0;
    // The rate the driver runs the open port at, as it reports it back (it
    // may round what was asked); 0 while closed or where it cannot say.
    virtual qint32 actualSpeed() const = 0;

    // Present levels of the modem inputs; false where the device has none.
    virtual bool CTSHolding() const = 0;
    virtual bool DSRHolding() const = 0;
    virtual bool CDHolding() const = 0;

    // Bytes waiting. Never throws. A close empties it, but after the device
    // failed (linkFailed) it still holds what came before the failure.
    virtual qint64 InBufferCount() const = 0;
    // The input buffer's bound: once this many bytes wait, the control
    // reads no more from the device until they are taken.
    virtual qint64 InBufferSize() const = 0;
    // Take everything waiting, as it came (the window decodes text itself,
    // since a character may span two reads). A device that fails is told
    // by linkFailed, not here.
    virtual QByteArray InputBytes() = 0;

    // Queue bytes for sending (text as UTF-8). Throw LinkError if the device
    // refuses them, or when the output buffer would hold more than its bound.
    virtual void OutputText(const QString &text) = 0;
    virtual void OutputBytes(const QByteArray &bytes) = 0;
    // Bytes queued for sending that have not gone out on the line yet: a
    // close drops them. 0 while closed.
    virtual qint64 OutBufferCount() const = 0;
    // What the output buffer holds at most.
    virtual qint64 OutBufferSize() const = 0;

    virtual int CommEvent() const = 0;

    // The shared flows' view of the control. (takeEverything(), what a
    // close must not lose, is the control's own: InputBytes() past the
    // bound, with what the device has delivered to the system by now.)
    bool linkUp() const final { return PortOpen(); }
    qint64 waiting() const final { return InBufferCount(); }
    qint64 holdsAtMost() const final { return InBufferSize(); }
    QByteArray takeWaiting() final { return InputBytes(); }
    qint64 unsent() const final { return OutBufferCount(); }
    qint64 sendsAtMost() const final { return OutBufferSize(); }
    void handOverText(const QString &text) final { OutputText(text); }
    void handOverBytes(const QByteArray &bytes) final { OutputBytes(bytes); }

    // The device that port number `port` names right now (for the port
    // list's tooltip), e.g. "/dev/ttyUSB0".
    virtual QString portDevice(int port) const = 0;

signals:
    void OnComm();
    // The open port failed outside any call (a USB adapter unplugged, a read
    // error): raised once, queued; the port is closed by then, and `unsent`
    // bytes that were to go out were lost with it.
    void linkFailed(const QString &description, qint64 unsent);
};
