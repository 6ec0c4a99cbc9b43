// SPDX-License-Identifier: MIT
#pragma once

#include "keptbytes.h"
#include "problem.h"

#include <QByteArray>
#include <QString>

#include <deque>

// Everything a window received since its start or the last clear, byte for
// byte as it came, whichever way it was shown. Bytes the log keeps as they
// came (a listing's) are read back from the log, not kept twice; the rest
// (what was shown as text) is kept in an unnamed temporary file rather than
// in memory: a capture is as large as the data. The file has no name, so it
// goes with the process however that ends.
class ReceivedCapture
{
public:
    // `kept` reads back what appendKept() points at.
    explicit ReceivedCapture(KeptReader kept = {});
    ~ReceivedCapture();
    ReceivedCapture(const ReceivedCapture &) = delete;
    ReceivedCapture &operator=(const ReceivedCapture &) = delete;

    // Bytes that came, kept here.
    void append(const QByteArray &bytes);
    // `n` bytes that came, kept as they are at `place`.
    void appendKept(KeptPlace place, qint64 n);
    void clear();

    // Writes the capture to `path` (whole or not at all); a problem also
    // when part of the capture could not be kept.
    Problem saveTo(const QString &path) const;

private:
    bool openSpool();

    // The capture in order: runs of the spool or of kept bytes. Runs of
    // the spool that follow one another are one: a capture of text is one
    // run, of listings one a read.
    struct Run
    {
        KeptPlace place; // not kept: the spool, from place.at
        qint64 n;
        bool spooled;
    };
    KeptReader m_kept;
    std::deque<Run> m_runs;
    int m_fd = -1;
    qint64 m_size = 0; // of the spool
    Problem m_lost; // why part of the capture is missing, if it is
};
