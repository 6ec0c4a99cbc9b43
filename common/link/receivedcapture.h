// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QByteArray>
#include <QString>

// Everything a window received since its start or the last clear, byte for
// byte as it came, whichever way it was shown. Kept in an unnamed temporary
// file rather than in memory: a capture is as large as the data, and the
// log already holds it once. The file has no name, so it goes with the
// process however that ends.
class ReceivedCapture
{
public:
    ReceivedCapture() = default;
    ~ReceivedCapture();
    ReceivedCapture(const ReceivedCapture &) = delete;
    ReceivedCapture &operator=(const ReceivedCapture &) = delete;

    void append(const QByteArray &bytes);
    void clear();

    // Writes the capture to `path` (whole or not at all); a problem also
    // when part of the capture could not be kept.
    Problem saveTo(const QString &path) const;

private:
    bool openSpool();

    int m_fd = -1;
    qint64 m_size = 0;
    Problem m_lost; // why part of the capture is missing, if it is
};
