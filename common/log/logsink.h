// SPDX-License-Identifier: MIT
#pragma once

#include "keptbytes.h"

#include <QByteArray>
#include <QString>

// Where the shared flows write the log: the window, which adds the time
// stamps. Colours are 0x00BBGGRR (logcolours.h).
class LogSink
{
public:
    virtual ~LogSink() = default;
    // The log's one writer: `text` at the end, in `colour`.
    virtual void AppendLog(quint32 colour, const QString &text) = 0;
    // A new entry: CR LF, the time stamp, `message`.
    virtual void appendEntry(quint32 colour, const QString &message) = 0;
    // The same, stamped with `wallMs` (ms since the epoch; negative: now).
    virtual void appendEntryAt(quint32 colour, const QString &message, qint64 wallMs)
    {
        Q_UNUSED(wallMs);
        appendEntry(colour, message);
    }
    // The listing of `bytes` as a piece, kept as the bytes themselves:
    // where, for readKept(), or nowhere (a sink that keeps no bytes).
    virtual KeptPlace appendListing(quint32 colour, const QByteArray &bytes) = 0;
    // Reads back bytes a listing keeps (see KeptReader).
    virtual bool readKept(KeptPlace, qint64, const KeptSink &) const { return false; }
};
