// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class Link;
class LogSink;

// The send command: with the link up, it takes the send box's text (without
// its leading and trailing spaces), turns it into a payload as text or as
// hexadecimal bytes, logs it and hands it to the link. Text is handed over
// first and logged afterwards; bytes are logged first. A refusal of the link
// throws its LinkError to the caller, as the hand-over itself does.
class SendCommand
{
public:
    enum class Outcome {
        LinkDown,     // nothing sent or logged
        NothingToSend, // the box holds nothing but spaces
        BeyondLimits, // too many bytes, or a token too long: refused in the log
        Sent,
    };
    struct Result
    {
        Outcome outcome;
        QString text; // the trimmed text
    };

    SendCommand(Link &link, LogSink &log) : m_link(link), m_log(log) {}

    Result send(const QString &boxText);

    // Bytes (hexadecimal, separated by spaces) rather than text.
    void setSendsBytes(bool bytes) { m_sendsBytes = bytes; }
    // What a text payload ends in (the log shows the text without it).
    void setTextEnding(const QString &ending) { m_textEnding = ending; }

private:
    Link &m_link;
    LogSink &m_log;
    bool m_sendsBytes = false;
    QString m_textEnding;
};
