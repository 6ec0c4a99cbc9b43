#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Turns a byte stream into text as UTF-8, read by read: a sequence cut at the
// end of one read is completed by the next, and invalid bytes become U+FFFD
// instead of swallowing what follows them.
class StreamTextDecoder
{
public:
    QString decode(const QByteArray &bytes) { return m_decoder.decode(bytes); }
    void reset() { m_decoder.resetState(); }

private:
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};
