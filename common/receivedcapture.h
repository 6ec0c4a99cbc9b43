// SPDX-License-Identifier: MIT
#pragma once

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
    qint64 size() const { return m_size; }

    // Writes the capture to `path` (through a temporary file beside it).
    // False, with the reason, when it cannot, or when part of the capture
    // could not be kept.
    bool saveTo(const QString &path, QString *error) const;

private:
    bool openSpool();

    int m_fd = -1;
    qint64 m_size = 0;
    QString m_lost; // why part of the capture is missing, if it is
};
