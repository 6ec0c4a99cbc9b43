// SPDX-License-Identifier: MIT
#pragma once

#include "checksum.h"

#include <QString>

class Link;
class LogSink;

// What a text send ends in, as the send box's menu offers it.
enum class LineEnding { None, Cr, Lf, CrLf };

inline constexpr NamedChoice<LineEnding> kLineEndings[] = {
    {LineEnding::None, "无", "none"},
    {LineEnding::Cr, "CR", "cr"},
    {LineEnding::Lf, "LF", "lf"},
    {LineEnding::CrLf, "CR LF", "crlf"},
};

// The characters a text send ends in: the chosen ending, after the carriage
// return of a box that appends one (comm's). The box's CR is not doubled:
// with CR or CR LF chosen it adds nothing, with LF it makes CR LF.
QString textEnding(LineEnding ending, bool appendCr);

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
    // What a byte payload ends in (the log lists it with the rest).
    void setChecksum(Checksum checksum) { m_checksum = checksum; }

private:
    Link &m_link;
    LogSink &m_log;
    bool m_sendsBytes = false;
    QString m_textEnding;
    Checksum m_checksum = Checksum::None;
};
