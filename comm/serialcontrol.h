// SPDX-License-Identifier: MIT
#pragma once

#include "generation.h"
#include "mscomm.h"
#include "serialline.h"
#include "serialmarkdecoder.h"
#include "serialsettings.h"

#include <QSerialPort>

class QTimer;

// The serial control over Qt Serial Port and the Linux tty interfaces.
//
// Received data is read as it comes, unmarked (see SerialMarkDecoder) and
// kept until the window takes it. Events are posted to the control's own
// thread and carry the port generation they belong to: a close drops every
// event still queued for the port it closed.
class SerialControl : public MSComm
{
    Q_OBJECT
public:
    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;

    // The input buffer's bound. A one-second settle at the fastest listed
    // speed (256000 bit/s) brings about 25 KiB; this holds forty of them,
    // while a much faster device (a pseudo-terminal) cannot hand the log
    // more than about a second's work in one read. When it is full the
    // control stops reading and the kernel holds the sender back, so no
    // data is lost.
    static constexpr qint64 kInBufferSize = 1 << 20;
    // The output buffer's bound: a send that would have it hold more is
    // refused, so that a far end that takes nothing shows at once instead
    // of filling memory. A minute at 9600 bit/s, a moment at today's speeds.
    static constexpr qint64 kOutBufferSize = 64 * 1024;
    // How often the modem lines and line counters are read while open.
    static constexpr int kLinePollMs = 50;

    void setCommPort(int port) override;
    void setSettings(const QString &settings) override;
    QString Settings() const override;
    void setHandshaking(int handshaking) override;
    void setDTREnable(bool on) override;
    void setRTSEnable(bool on) override;
    void setEOFEnable(bool on) override;
    void setInputMode(int mode) override;
    void setPortOpen(bool open) override;
    bool PortOpen() const override;
    void setDTRLine(bool high) override;
    void setRTSLine(bool high) override;
    void setBreak(bool on) override;
    qint32 actualSpeed() const override;
    bool CTSHolding() const override;
    bool DSRHolding() const override;
    bool CDHolding() const override;
    qint64 InBufferCount() const override;
    qint64 InBufferSize() const override { return kInBufferSize; }
    QByteArray InputBytes() override;
    QByteArray takeEverything() override;
    void OutputText(const QString &text) override;
    void OutputBytes(const QByteArray &bytes) override;
    qint64 OutBufferCount() const override;
    qint64 OutBufferSize() const override { return kOutBufferSize; }
    int CommEvent() const override;
    QString portDevice(int port) const override;

    // The device of the open port ("" when closed).
    QString openDevice() const { return m_device; }

private:
    void open();
    // `keepInput`: what was received stays readable (a failed device).
    void closePort(bool keepInput = false);
    // Drops every event queued for the port and forgets what was received
    // (unless `keepInput`).
    void resetReception(bool keepInput = false);
    bool softwareFlow() const;
    // Throws the problem as this control's LinkError, naming the device.
    [[noreturn]] void fail(const QString &problem) const;
    [[noreturn]] void fail(const Problem &problem) const;
    // Qt's setting calls reset the tty's input flags: run one, then put the
    // flags back.
    template<typename Call>
    Problem qtSetting(Call call);
    Problem applyLineSettings();
    // The speed: a rate termios names through Qt, any other one directly.
    Problem applySpeed();
    // Raises or drops DTR and RTS as set, on an open port.
    void holdLines();
    // Throws unless the port is open and its device has modem lines.
    void requireLineControl(const QString &what) const;

    void pumpStaged();
    void writtenOut();
    void portError(QSerialPort::SerialPortError error);
    void pollLines();

    // Brings in all that Qt and the kernel hold for the port, past the
    // bound (no sender is held back any more).
    void takeInEverything();
    void post(int code);
    QByteArray take();
    SerialLine::Levels levels() const;
    int fd() const;

    QSerialPort *m_port;
    QTimer *m_lineTimer;

    int m_commPort = 1;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    SerialSettings m_settings;
    int m_handshaking = comNone;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_eof = false;
    bool m_breaking = false;

    QString m_device;
    Generation m_generation;
    QByteArray m_input;
    SerialMarkDecoder m_marks;
    bool m_receivePosted = false;
    bool m_pumpPosted = false;
    bool m_failing = false; // a device failure is being reported
    int m_event = 0;

    bool m_countersWork = false;
    bool m_levelsWork = false;
    SerialLine::Counters m_counters;
    SerialLine::Levels m_levels;
};
