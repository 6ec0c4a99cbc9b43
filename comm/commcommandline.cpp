// SPDX-License-Identifier: MIT
#include "commcommandline.h"

#include "form1.h"
#include "linedialogs.h"
#include "serialdevice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace {

// The values --data and --handshake take, in the lists' terms.
const QStringList kDataBitsTaken = {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
const QStringList kHandshakeWords = {QStringLiteral("none"), QStringLiteral("xonxoff"), QStringLiteral("rtscts"),
                                     QStringLiteral("both")};

} // namespace

CommCommandLine::CommCommandLine()
    : m_line(QStringLiteral("Tests a serial port: sends text or hexadecimal bytes, shows what arrives, and logs every "
                            "line event. Every option sets the window as the same clicks would.")),
      m_port(QStringLiteral("port"),
             QStringLiteral("COM1 to COM4 (端口); or a device path such as /dev/ttyUSB0, used as COM1 for this run "
                            "only."),
             QStringLiteral("NAME")),
      m_baud(QStringLiteral("baud"),
             QStringLiteral("The speed (波特率) in bit/s: one the list offers, or any other whole rate the "
                            "adapter runs (其他速率…), such as 921600 or 74880."),
             QStringLiteral("N")),
      m_parity(QStringLiteral("parity"), QStringLiteral("The parity (校验位): N, E, O, M or S."), QStringLiteral("P")),
      m_data(QStringLiteral("data"), QStringLiteral("The data bits (数据位): 5 to 8."), QStringLiteral("N")),
      m_stop(QStringLiteral("stop"), QStringLiteral("The stop bits (停止位): 1, 1.5 or 2."), QStringLiteral("N")),
      m_handshake(QStringLiteral("handshake"),
                  QStringLiteral("The handshake (握手协议): none, xonxoff, rtscts or both."), QStringLiteral("H")),
      m_dtr(QStringLiteral("dtr"), QStringLiteral("Tick DTR有效.")),
      m_rts(QStringLiteral("rts"), QStringLiteral("Tick RTS有效.")),
      m_eof(QStringLiteral("eof"), QStringLiteral("Tick EOF有效.")),
      m_cr(QStringLiteral("cr"), QStringLiteral("Tick 文本末尾附加回车符 (end each text with a carriage return).")),
      m_open(QStringLiteral("open"), QStringLiteral("Press 打开端口 once the window shows.")),
      m_reconnect(QStringLiteral("reconnect"),
                  QStringLiteral("Tick 拔出后自动重连: when the device goes away, wait for it under the same path and "
                                 "open it again with the same settings."))
{
    m_line.parser().addOptions(
        {m_port, m_baud, m_parity, m_data, m_stop, m_handshake, m_dtr, m_rts, m_eof, m_cr, m_open, m_reconnect});
}

int CommCommandLine::parse(const QStringList &arguments)
{
    return m_line.parse(arguments, [this] { return check(); });
}

Problem CommCommandLine::check()
{
    const QCommandLineParser &parser = m_line.parser();
    Problem problem;
    if (parser.isSet(m_port)) {
        const QString name = parser.value(m_port);
        if (name.contains(u'/')) {
            SerialDevice::useForThisRun(1, name);
            m_portIndex = 0;
        } else if ((m_portIndex = m_line.choose(m_port, Form1::kPorts, &problem)) < 0) {
            return CommandLine::refuse(QStringLiteral("--port"), name,
                                       QStringLiteral("not one of COM1 to COM4, nor a device path"));
        }
    }
    const struct
    {
        const QCommandLineOption &option;
        const QStringList &choices;
        int *index;
    } lists[] = {
        {m_parity, Form1::kParities, &m_parityIndex},
        {m_data, kDataBitsTaken, &m_dataIndex},    {m_stop, Form1::kStopBits, &m_stopIndex},
        {m_handshake, kHandshakeWords, &m_handshakeIndex},
    };
    for (const auto &list : lists) {
        if (parser.isSet(list.option) && (*list.index = m_line.choose(list.option, list.choices, &problem)) < 0)
            return problem;
    }
    if (parser.isSet(m_baud) && (m_speed = rateFromText(parser.value(m_baud))) == 0)
        return CommandLine::refuse(QStringLiteral("--baud"), parser.value(m_baud),
                                   QStringLiteral("not a whole number of bits per second"));
    // From the values taken to the entries of the window's list.
    if (m_dataIndex >= 0)
        m_dataIndex = int(Form1::kDataBits.indexOf(kDataBitsTaken.at(m_dataIndex)));
    return Problem();
}

int CommCommandLine::applyTo(Form1 &window)
{
    const struct
    {
        QComboBox *list;
        int index;
    } lists[] = {
        {window.CmbPort, m_portIndex},         {window.CmbJY, m_parityIndex},
        {window.CmbSJ, m_dataIndex},           {window.CmbTZ, m_stopIndex},     {window.CmbXY, m_handshakeIndex},
    };
    for (const auto &list : lists) {
        if (list.index >= 0)
            list.list->setCurrentIndex(list.index);
    }
    if (m_speed > 0)
        window.useSpeed(m_speed);
    const QCommandLineParser &parser = m_line.parser();
    const struct
    {
        const QCommandLineOption &option;
        QCheckBox *box;
    } ticks[] = {{m_dtr, window.ChkDTR}, {m_rts, window.ChkRTS}, {m_eof, window.ChkEof}, {m_cr, window.ChkSend}};
    for (const auto &tick : ticks) {
        if (parser.isSet(tick.option))
            tick.box->setCheckState(Qt::Checked);
    }
    if (parser.isSet(m_reconnect))
        window.setReconnect(true);
    if (const int status = m_line.applyTo(window); status >= 0)
        return status;
    if (parser.isSet(m_open))
        CommandLine::pressWhenShown(window.CmdOpen);
    return -1;
}
