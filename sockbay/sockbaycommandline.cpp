// SPDX-License-Identifier: MIT
#include "sockbaycommandline.h"

#include "frmsockbay.h"
#include "linkerror.h"
#include "portnumber.h"

#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

SockbayCommandLine::SockbayCommandLine()
    : m_line(QStringLiteral("Tests a TCP connection: connects out, or listens and serves one connection at a time, "
                            "sends text or hexadecimal bytes and shows what arrives. Every option sets the window as "
                            "the same typing and clicks would.")),
      m_localPort(QStringLiteral("local-port"), QStringLiteral("The port to listen on (本地端口): 0 to 65535; 0 lets "
                                                               "the system pick one."),
                  QStringLiteral("N")),
      m_remotePort(QStringLiteral("remote-port"), QStringLiteral("The port to connect to (远程端口): 1 to 65535."),
                   QStringLiteral("N")),
      m_remoteAddress(QStringLiteral("remote-address"),
                      QStringLiteral("The address to connect to (远程地址): a host name, an IPv4 address or an IPv6 "
                                     "address (bare or in brackets, with a %scope), at most 253 characters."),
                      QStringLiteral("HOST")),
      m_listen(QStringLiteral("listen"), QStringLiteral("Press 侦听 once the window shows.")),
      m_multi(QStringLiteral("multi"),
              QStringLiteral("Tick 同时接受多个连接: listening keeps every client at once, each logged under its "
                             "address; sends go to all of them.")),
      m_connect(QStringLiteral("connect"), QStringLiteral("Press 连接 once the window shows."))
{
    m_line.parser().addOptions({m_localPort, m_remotePort, m_remoteAddress, m_listen, m_multi, m_connect});
}

int SockbayCommandLine::parse(const QStringList &arguments)
{
    return m_line.parse(arguments, [this] { return check(); });
}

Problem SockbayCommandLine::checkPort(const QCommandLineOption &option, int lowest, QString *normalised)
{
    const QString value = m_line.parser().value(option);
    *normalised = numberText(leadingNumber(value));
    qint32 port = -1;
    // (A box takes "abc" as 0; a command line that names no number at all
    // is a slip, not a wish for a port the system picks.)
    const bool anyDigit = std::any_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    try {
        if (anyDigit)
            port = toLong(*normalised);
    } catch (const LinkError &) {
        // (Out of the 32-bit range: no port either.)
    }
    if (port < lowest || port > 65535)
        return CommandLine::refuse(QStringLiteral("--") + option.names().constFirst(), value,
                                   QStringLiteral("not a port number from %1 to 65535").arg(lowest));
    return Problem();
}

Problem SockbayCommandLine::check()
{
    const QCommandLineParser &parser = m_line.parser();
    if (parser.isSet(m_localPort)) {
        if (Problem problem = checkPort(m_localPort, 0, &m_local))
            return problem;
    }
    if (parser.isSet(m_remotePort)) {
        if (Problem problem = checkPort(m_remotePort, 1, &m_remote))
            return problem;
    }
    if (parser.isSet(m_remoteAddress)) {
        const QString host = parser.value(m_remoteAddress);
        if (host.trimmed().isEmpty())
            return CommandLine::refuse(QStringLiteral("--remote-address"), host, QStringLiteral("no address"));
        if (host.size() > FrmSockbay::kAddressLength)
            return CommandLine::refuse(QStringLiteral("--remote-address"), host,
                                       QStringLiteral("longer than the box takes (%1 characters)")
                                           .arg(FrmSockbay::kAddressLength));
    }
    if (parser.isSet(m_listen) && parser.isSet(m_connect))
        return Problem(QStringLiteral("--listen and --connect: only one of them"));
    return Problem();
}

int SockbayCommandLine::applyTo(FrmSockbay &window)
{
    const QCommandLineParser &parser = m_line.parser();
    if (parser.isSet(m_localPort))
        window.setPortBox(window.TxtLPort, m_local);
    if (parser.isSet(m_remotePort))
        window.setPortBox(window.TxtRPort, m_remote);
    if (parser.isSet(m_remoteAddress))
        window.TxtRIP->setText(parser.value(m_remoteAddress));
    if (parser.isSet(m_multi))
        window.setMultiClient(true);
    if (const int status = m_line.applyTo(window); status >= 0)
        return status;
    if (parser.isSet(m_listen))
        CommandLine::pressWhenShown(window.CmdLstn);
    if (parser.isSet(m_connect))
        CommandLine::pressWhenShown(window.CmdCnn);
    return -1;
}
