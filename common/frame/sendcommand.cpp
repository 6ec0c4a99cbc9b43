// SPDX-License-Identifier: MIT
#include "sendcommand.h"

#include "link.h"
#include "logcolours.h"
#include "logsink.h"
#include "payload.h"

QString textEnding(LineEnding ending, bool appendCr)
{
    switch (ending) {
    case LineEnding::None:
        return appendCr ? QStringLiteral("\r") : QString();
    case LineEnding::Cr:
        return QStringLiteral("\r");
    case LineEnding::Lf:
        return appendCr ? QStringLiteral("\r\n") : QStringLiteral("\n");
    case LineEnding::CrLf:
        return QStringLiteral("\r\n");
    }
    return QString();
}

SendCommand::Result SendCommand::send(const QString &boxText)
{
    if (!m_link.linkUp())
        return {Outcome::LinkDown, QString()};
    const QString text = trimSpaces(boxText);
    if (text.isEmpty())
        return {Outcome::NothingToSend, text};
    if (!m_sendsBytes) {
        m_link.handOverText(text + m_textEnding);
        m_log.appendEntry(kBlack, QStringLiteral("  发送文本：  ") + text);
        return {Outcome::Sent, text};
    }
    HexPayload payload = ParseHexPayload(text);
    if (payload.beyondLimits) {
        // Refused as the log refuses everything else: one red entry.
        m_log.appendEntry(kRed, QStringLiteral("  发送字节超出限制：最多255个字节，每段不超过254个字符"));
        return {Outcome::BeyondLimits, text};
    }
    payload.bytes += checksumBytes(m_checksum, payload.bytes);
    // One piece for the whole listing, kept as the bytes: the log reads the
    // same as one piece per byte, at a fraction of the cost.
    m_log.appendEntry(kBlack, QStringLiteral("  发送数据："));
    m_log.appendListing(kBlack, payload.bytes);
    m_link.handOverBytes(payload.bytes);
    return {Outcome::Sent, text};
}
