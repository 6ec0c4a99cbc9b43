// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Turns a byte stream into text as UTF-8, read by read. A sequence cut at the
// end of one read is held and completed by the next; when the next read does
// not continue it, the held bytes become U+FFFD and every character of the
// new read still follows. Invalid bytes become U+FFFD, one per maximal
// invalid subpart (the Unicode standard's recommended practice), so the text
// is the same however the stream is cut into reads.
//
// (Qt 6.4's stateful QStringDecoder swallows the first byte of a read that
// does not continue a held sequence.)
class StreamTextDecoder
{
public:
    // The text of `size` bytes at `data`, after whatever an earlier call held.
    QString decode(const char *data, qsizetype size);
    QString decode(const QByteArray &bytes) { return decode(bytes.constData(), bytes.size()); }

    // The stream has ended: nothing can complete what is held any more.
    // U+FFFD if something was held, else empty; nothing is held afterwards.
    QString finish();

    // Gives back the held bytes as they came, and forgets them: when the
    // receive mode turns to bytes they lead the next listing.
    QByteArray takeHeld();

    bool holding() const { return m_heldSize > 0; }

private:
    // At most three bytes of a four-byte sequence can be waiting.
    unsigned char m_held[3] = {};
    int m_heldSize = 0;
};
