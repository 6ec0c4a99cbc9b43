// SPDX-License-Identifier: MIT
#include "serialcontrol.h"

#include "linkerror.h"
#include "serialdevice.h"
#include "syserror.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

// What Qt Serial Port keeps between the device and this control. When the
// control's own buffer is full, this fills up too and Qt stops reading the
// device, so the kernel holds back the sender.
constexpr qint64 kStagingSize = 64 * 1024;

constexpr char kEofChar = 0x1A;

// How long a close or a failure keeps reading a port whose sender is still
// going.
constexpr int kDrainMs = 50;

QSerialPort::FlowControl qtFlow(int handshaking)
{
    switch (handshaking) {
    case MSComm::comXOnXoff: return QSerialPort::SoftwareControl;
    case MSComm::comRTS:
    // Qt has no setting for both; XON/XOFF is added on the tty itself.
    case MSComm::comRTSXOnXOff: return QSerialPort::HardwareControl;
    default: return QSerialPort::NoFlowControl;
    }
}

} // namespace

SerialControl::SerialControl(QObject *parent) : MSComm(parent), m_port(new QSerialPort(this)), m_lineTimer(new QTimer(this))
{
    m_port->setBaudRate(m_settings.speed);
    m_port->setDataBits(m_settings.dataBits);
    m_port->setParity(m_settings.parity);
    m_port->setStopBits(m_settings.stopBits);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(kStagingSize);
    connect(m_port, &QSerialPort::readyRead, this, &SerialControl::pumpStaged);
    connect(m_port, &QSerialPort::bytesWritten, this, &SerialControl::writtenOut);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialControl::portError);

    m_lineTimer->setInterval(kLinePollMs);
    connect(m_lineTimer, &QTimer::timeout, this, &SerialControl::pollLines);
}

SerialControl::~SerialControl()
{
    closePort();
}

void SerialControl::fail(const QString &problem) const
{
    const QString device = m_device.isEmpty() ? SerialDevice::toOpen(m_commPort) : m_device;
    throw LinkError(device + QStringLiteral(": ") + problem);
}

void SerialControl::fail(const Problem &problem) const
{
    fail(problem.description());
}

int SerialControl::fd() const
{
    return int(m_port->handle());
}

template<typename Call>
Problem SerialControl::qtSetting(Call call)
{
    if (!call())
        return Problem(m_port->errorString());
    if (!m_port->isOpen())
        return Problem();
    return SerialLine::applyInputFlags(fd(), softwareFlow());
}

Problem SerialControl::applySpeed()
{
    if (SerialLine::isNamedRate(m_settings.speed))
        return qtSetting([this] { return m_port->setBaudRate(m_settings.speed); });
    // Any other rate is this control's to set, so that a refusal carries
    // the system's own reason (Qt's fallback would report its own errno).
    // Qt keeps a named rate to open at, replaced at once.
    if (!m_port->isOpen())
        return qtSetting([this] { return m_port->setBaudRate(9600); });
    if (const Problem problem = SerialLine::setOtherRate(fd(), m_settings.speed))
        return Problem(QStringLiteral("%1 bit/s: ").arg(m_settings.speed) + problem.description());
    return Problem();
}

Problem SerialControl::applyLineSettings()
{
    // The first refusal ends it and is the one reported.
    Problem problem = applySpeed();
    if (!problem)
        problem = qtSetting([this] { return m_port->setDataBits(m_settings.dataBits); });
    if (!problem)
        problem = qtSetting([this] { return m_port->setParity(m_settings.parity); });
    if (!problem)
        problem = qtSetting([this] { return m_port->setStopBits(m_settings.stopBits); });
    return problem;
}

void SerialControl::holdLines()
{
    if (!m_port->isOpen())
        return;
    // A device without modem lines (a pseudo-terminal) refuses these; that
    // is not an error for a port that has no lines to hold.
    (void)SerialLine::setDtr(fd(), m_dtr);
    // Under RTS/CTS flow control the driver drives RTS itself.
    if (qtFlow(m_handshaking) != QSerialPort::HardwareControl)
        (void)SerialLine::setRts(fd(), m_rts);
}

void SerialControl::setCommPort(int port)
{
    if (PortOpen())
        fail(QStringLiteral("the port number cannot change while the port is open"));
    if (port < 1)
        throw LinkError(QStringLiteral("COM%1 is not a port: port numbers start at 1").arg(port));
    m_commPort = port;
}

void SerialControl::setSettings(const QString &settings)
{
    SerialSettings parsed;
    if (const Problem problem = SerialSettings::parse(settings, &parsed))
        fail(problem);
    m_settings = parsed;
    m_settingsText = settings;
    if (const Problem problem = applyLineSettings())
        fail(problem);
}

QString SerialControl::Settings() const
{
    return m_settingsText;
}

void SerialControl::setHandshaking(int handshaking)
{
    if (handshaking < comNone || handshaking > comRTSXOnXOff)
        fail(QStringLiteral("handshaking %1 is not one of 0 (none), 1 (XON/XOFF), 2 (RTS/CTS), 3 (both)").arg(handshaking));
    m_handshaking = handshaking;
    if (const Problem problem = qtSetting([this] { return m_port->setFlowControl(qtFlow(m_handshaking)); }))
        fail(problem);
    holdLines();
}

void SerialControl::setDTREnable(bool on)
{
    m_dtr = on;
    holdLines();
}

void SerialControl::setRTSEnable(bool on)
{
    m_rts = on;
    holdLines();
}

void SerialControl::requireLineControl(const QString &what) const
{
    if (!PortOpen())
        fail(what + QStringLiteral(": the port is not open"));
    // A device that cannot report its lines (a pseudo-terminal) has none to
    // drive: the kernel would take a break on it and send nothing.
    SerialLine::Levels unused;
    if (!SerialLine::readLevels(fd(), &unused))
        fail(what + QStringLiteral(": the device has no modem control lines (") + systemError() + u')');
}

void SerialControl::setDTRLine(bool high)
{
    requireLineControl(QStringLiteral("DTR"));
    if (!SerialLine::setDtr(fd(), high))
        fail(QStringLiteral("DTR: ") + systemError());
    m_dtr = high;
}

void SerialControl::setRTSLine(bool high)
{
    requireLineControl(QStringLiteral("RTS"));
    if (qtFlow(m_handshaking) == QSerialPort::HardwareControl)
        fail(QStringLiteral("RTS: the driver drives RTS under RTS/CTS handshaking"));
    if (!SerialLine::setRts(fd(), high))
        fail(QStringLiteral("RTS: ") + systemError());
    m_rts = high;
}

void SerialControl::setBreak(bool on)
{
    if (!on && !m_breaking)
        return;
    requireLineControl(QStringLiteral("break"));
    if (!SerialLine::setBreak(fd(), on))
        fail(QStringLiteral("break: ") + systemError());
    m_breaking = on;
}

qint32 SerialControl::actualSpeed() const
{
    return PortOpen() ? SerialLine::lineSpeed(fd()) : 0;
}

void SerialControl::setEOFEnable(bool on)
{
    m_eof = on;
}

void SerialControl::setInputMode(int mode)
{
    if (mode != comInputModeText && mode != comInputModeBinary)
        fail(QStringLiteral("input mode %1 is not 0 (text) or 1 (bytes)").arg(mode));
}

void SerialControl::setPortOpen(bool open)
{
    if (open)
        this->open();
    else
        closePort();
}

bool SerialControl::PortOpen() const
{
    return m_port->isOpen();
}

void SerialControl::open()
{
    if (PortOpen())
        fail(QStringLiteral("the port is already open"));
    const QString device = SerialDevice::toOpen(m_commPort);
    m_port->setPortName(device);
    m_port->clearError();
    // Qt applies the stored speed, framing and flow control while opening;
    // a value the device refuses fails the open itself.
    if (!m_port->open(QIODevice::ReadWrite)) {
        QString problem = device + QStringLiteral(": ") + m_port->errorString();
        if (m_port->error() == QSerialPort::PermissionError) {
            // Say which entry led there (its link may have a name the user
            // knows better) and how access is had.
            const QString named = SerialDevice::named(m_commPort);
            if (named != device)
                problem = device + QStringLiteral(" (COM%1: %2)").arg(m_commPort).arg(named) + QStringLiteral(": ")
                    + m_port->errorString();
            const QString hint = SerialDevice::accessHint(device);
            if (!hint.isEmpty())
                problem += QStringLiteral("; ") + hint;
        }
        throw LinkError(problem);
    }

    m_device = device;
    resetReception();

    // (Qt set a named rate and the flow control as it opened; XON/XOFF
    // beside RTS/CTS comes with the input flags.)
    Problem problem = SerialLine::isNamedRate(m_settings.speed) ? Problem() : applySpeed();
    if (!problem)
        problem = SerialLine::applyInputFlags(fd(), softwareFlow());
    if (problem) {
        closePort();
        throw LinkError(device + QStringLiteral(": ") + problem.description());
    }
    holdLines();

    // Poll only what the device has: a pseudo-terminal has neither lines
    // nor counters, and then nothing is polled at all.
    m_countersWork = SerialLine::readCounters(fd(), &m_counters);
    m_levelsWork = SerialLine::readLevels(fd(), &m_levels);
    if (m_countersWork || m_levelsWork)
        m_lineTimer->start();
}

bool SerialControl::softwareFlow() const
{
    return m_handshaking == comXOnXoff || m_handshaking == comRTSXOnXOff;
}

void SerialControl::resetReception(bool keepInput)
{
    // A new generation: whatever was queued for the port before is dropped.
    m_generation.advance();
    if (!keepInput) {
        m_input = QByteArray();
        arrivalMarks().clear();
    }
    m_marks.reset();
    m_receivePosted = false;
    m_pumpPosted = false;
    m_failing = false;
}

void SerialControl::closePort(bool keepInput)
{
    if (m_port->isOpen()) {
        SerialLine::discardQueues(fd());
        m_port->close();
    }
    m_device.clear();
    m_breaking = false;
    resetReception(keepInput);
    m_lineTimer->stop();
    m_countersWork = false;
    m_levelsWork = false;
}

SerialLine::Levels SerialControl::levels() const
{
    SerialLine::Levels now;
    if (PortOpen() && (m_levelsWork || m_countersWork))
        SerialLine::readLevels(fd(), &now);
    return now;
}

bool SerialControl::CTSHolding() const
{
    return levels().cts;
}

bool SerialControl::DSRHolding() const
{
    return levels().dsr;
}

bool SerialControl::CDHolding() const
{
    return levels().cd;
}

qint64 SerialControl::InBufferCount() const
{
    // Empty once closed by a call; after a failure it still holds what the
    // device delivered before it went.
    return m_input.size();
}

QByteArray SerialControl::take()
{
    QByteArray all;
    all.swap(m_input);
    // Qt may hold more that did not fit; bring it in after this read.
    if (!m_pumpPosted && m_port->bytesAvailable() > 0) {
        m_pumpPosted = true;
        m_generation.post(this, [this] {
            m_pumpPosted = false;
            pumpStaged();
        });
    }
    return all;
}

QByteArray SerialControl::InputBytes()
{
    return take();
}

QByteArray SerialControl::takeEverything()
{
    if (PortOpen() && !m_failing)
        takeInEverything();
    return take();
}

void SerialControl::takeInEverything()
{
    QByteArray raw = m_port->readAll();
    // Then what the kernel holds, and what it is still passing on (it hands
    // a burst to the line discipline a few kilobytes at a time); a sender
    // that keeps going is followed for a moment only.
    const QDeadlineTimer deadline(kDrainMs);
    char buffer[64 * 1024];
    while (!deadline.hasExpired()) {
        pollfd probe{fd(), POLLIN, 0};
        if (retryOnInterrupt([&] { return ::poll(&probe, 1, 1); }) <= 0 || !(probe.revents & POLLIN))
            break;
        const ssize_t got = retryOnInterrupt([&] { return ::read(fd(), buffer, sizeof buffer); });
        if (got > 0)
            raw.append(buffer, got);
        else if (got == 0 || errno != EAGAIN)
            break;
    }
    m_marks.decode(raw.constData(), raw.size(), m_input);
}

void SerialControl::OutputText(const QString &text)
{
    OutputBytes(text.toUtf8());
}

void SerialControl::OutputBytes(const QByteArray &bytes)
{
    if (!PortOpen())
        fail(QStringLiteral("the port is not open"));
    if (bytes.isEmpty())
        return;
    if (m_port->bytesToWrite() + bytes.size() > kOutBufferSize)
        fail(QStringLiteral("the output buffer is full: %1 bytes wait to go out, the far end takes nothing")
                 .arg(OutBufferCount()));
    if (m_port->write(bytes) != bytes.size())
        fail(m_port->errorString());
}

qint64 SerialControl::OutBufferCount() const
{
    if (!PortOpen())
        return 0;
    return m_port->bytesToWrite() + SerialLine::outputQueued(fd());
}

int SerialControl::CommEvent() const
{
    return m_event;
}

QString SerialControl::portDevice(int port) const
{
    return SerialDevice::named(port);
}

void SerialControl::post(int code)
{
    if (m_failing)
        return;
    if (code == comEvReceive) {
        // One undelivered "data waiting" is enough: its handler reads
        // whatever has come by then.
        if (m_receivePosted)
            return;
        m_receivePosted = true;
    }
    m_generation.post(this, [this, code] {
        if (code == comEvReceive)
            m_receivePosted = false;
        m_event = code;
        emit OnComm();
    });
}

void SerialControl::pumpStaged()
{
    if (!PortOpen() || m_failing)
        return;
    const qsizetype before = m_input.size();
    SerialMarkDecoder::Marks marks;
    bool eof = false;
    while (m_input.size() < kInBufferSize) {
        // Unmarking never lengthens the data, so this cannot overfill.
        const QByteArray raw = m_port->read(kInBufferSize - m_input.size());
        if (raw.isEmpty())
            break;
        const qsizetype from = m_input.size();
        const SerialMarkDecoder::Marks more = m_marks.decode(raw.constData(), raw.size(), m_input);
        marks.breaks += more.breaks;
        marks.errors += more.errors;
        if (m_eof && std::memchr(m_input.constData() + from, kEofChar, size_t(m_input.size() - from)))
            eof = true;
    }
    // Without the kernel's counters the marks are all there is to go by; a
    // bad byte is taken for a parity error when parity is checked at all.
    if (!m_countersWork) {
        if (marks.breaks > 0)
            post(comEventBreak);
        if (marks.errors > 0)
            post(m_settings.parity == QSerialPort::NoParity ? comEventFrame : comEventRxParity);
    }
    if (m_input.size() > before) {
        // Qt has just read from the device: these bytes came now, whenever
        // the window gets to them.
        arrivalMarks().arrived(m_input.size());
        post(comEvReceive);
    }
    if (eof)
        post(comEvEOF);
}

void SerialControl::writtenOut()
{
    if (PortOpen() && m_port->bytesToWrite() == 0)
        post(comEvSend);
}

void SerialControl::portError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return;
    if (m_device.isEmpty() || m_failing)
        return;

    // Qt words a hang-up as whatever errno held last; say what happened.
    pollfd probe{fd(), POLLIN, 0};
    const bool hungUp = ::poll(&probe, 1, 0) > 0 && (probe.revents & POLLHUP);
    const QString description = m_device + QStringLiteral(": ")
        + (hungUp ? QStringLiteral("the device hung up (unplugged, or closed at the other end)") : m_port->errorString());

    // Closing from inside Qt's own notification is left to the event loop;
    // until then nothing more is read or reported for this port.
    // (A close by the user in the meantime ends this port's story: the
    // report is dropped with the rest.)
    m_failing = true;
    m_generation.advance();
    m_generation.post(this, [this, description] {
        // What came before the failure is the window's to log: take it all
        // in and keep it through the close. What was to go out is lost.
        const qint64 unsent = OutBufferCount();
        takeInEverything();
        closePort(true);
        emit linkFailed(description, unsent);
    });
}

void SerialControl::pollLines()
{
    if (!PortOpen() || m_failing) {
        m_lineTimer->stop();
        return;
    }
    if (m_countersWork) {
        SerialLine::Counters now;
        if (!SerialLine::readCounters(fd(), &now)) {
            m_countersWork = false;
        } else {
            // Counters see every change, even one undone before this poll.
            const SerialLine::Counters &was = m_counters;
            const struct
            {
                int now, was, code;
            } changes[] = {
                {now.cts, was.cts, comEvCTS},           {now.dsr, was.dsr, comEvDSR},
                {now.dcd, was.dcd, comEvCD},            {now.rng, was.rng, comEvRing},
                {now.brk, was.brk, comEventBreak},      {now.frame, was.frame, comEventFrame},
                {now.overrun, was.overrun, comEventOverrun}, {now.bufOverrun, was.bufOverrun, comEventRxOver},
                {now.parity, was.parity, comEventRxParity},
            };
            for (const auto &c : changes)
                if (c.now != c.was)
                    post(c.code);
            m_counters = now;
        }
    } else if (m_levelsWork) {
        SerialLine::Levels now;
        if (!SerialLine::readLevels(fd(), &now)) {
            m_levelsWork = false;
        } else {
            if (now.cts != m_levels.cts)
                post(comEvCTS);
            if (now.dsr != m_levels.dsr)
                post(comEvDSR);
            if (now.cd != m_levels.cd)
                post(comEvCD);
            if (m_levels.ring && !now.ring) // the end of a ring
                post(comEvRing);
            m_levels = now;
        }
    }
    if (!m_countersWork && !m_levelsWork)
        m_lineTimer->stop();
}
