// SPDX-License-Identifier: MIT
#pragma once

#include "arrivals.h"

#include <QByteArray>
#include <QString>

// What the shared send and receive flows need of a link, whichever it is.
// Each tool's control offers it directly, in terms of its own members.
class Link
{
public:
    virtual ~Link() = default;

    // Data can go and come now (a port is open, a connection is up).
    virtual bool linkUp() const = 0;

    // Bytes received and waiting to be read.
    virtual qint64 waiting() const = 0;
    // What the link holds at most: with that much waiting it takes no more
    // until it is read.
    virtual qint64 holdsAtMost() const = 0;
    // Everything waiting, as it came.
    virtual QByteArray takeWaiting() = 0;
    // The same past the bound, with what the system holds for the link:
    // everything received before it ends. Never throws.
    virtual QByteArray takeEverything() = 0;

    // Hand a payload over for sending (text as UTF-8); a refusal throws the
    // control's LinkError.
    virtual void handOverText(const QString &text) = 0;
    virtual void handOverBytes(const QByteArray &bytes) = 0;
    // Bytes handed over that the other end has not got yet: what ending the
    // link now would drop.
    virtual qint64 unsent() const = 0;
    // What may wait to go out at most: a hand-over past it is refused.
    virtual qint64 sendsAtMost() const = 0;

    // When the received bytes came: the control marks each read from the
    // system, and clears the marks when it opens or closes; who takes bytes
    // takes their marks.
    ArrivalMarks &arrivalMarks() { return m_arrivalMarks; }

private:
    ArrivalMarks m_arrivalMarks;
};
