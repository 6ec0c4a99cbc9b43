// SPDX-License-Identifier: MIT
#include "logsave.h"

#include "logcolours.h"
#include "logstore.h"

#include <algorithm>

LogSave::LogSave(const LogStore &store, qint64 from, qint64 to, const QString &path, QObject *parent)
    : QObject(parent), m_store(store), m_at(std::clamp<qint64>(from, 0, store.size())),
      m_to(std::clamp<qint64>(to, m_at, store.size())), m_clears(store.clears()), m_file(path)
{
}

Problem LogSave::begin()
{
    if (!m_file.open(QIODevice::WriteOnly))
        return Problem(m_file.errorString());
    if (m_page
        && !put(QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + m_title.toHtmlEscaped()
                + QStringLiteral("</title></head>\n<body><pre style=\"white-space: pre-wrap\">"))) {
        const Problem problem(m_file.errorString());
        m_file.cancelWriting();
        return problem;
    }
    m_running = true;
    next();
    return Problem();
}

void LogSave::next()
{
    if (m_running && step())
        QMetaObject::invokeMethod(this, &LogSave::next, Qt::QueuedConnection);
}

void LogSave::finishNow()
{
    while (m_running && step()) {
    }
}

bool LogSave::step()
{
    if (m_store.clears() != m_clears) {
        end(Problem(QStringLiteral("信息已被清除，未能保存")));
        return false;
    }
    qint64 to = std::min(m_to, m_at + kSlice);
    // A dump is cut between its rows: the next slice goes on from there.
    if (m_dump)
        to = std::min(m_to, LogDump::rowBoundary(m_store, to));
    const bool ok = (m_dump ? writeDump(to) : writeText(m_at, to))
        && (!m_page || to < m_to || put(QStringLiteral("</pre></body></html>\n")));
    if (!ok) {
        end(Problem(m_file.errorString()));
        return false;
    }
    m_at = to;
    if (m_at < m_to)
        return true;
    end(m_file.commit() ? Problem() : Problem(m_file.errorString()));
    return false;
}

bool LogSave::put(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return m_file.write(utf8) == utf8.size();
}

bool LogSave::writeText(qint64 from, qint64 to)
{
    if (m_page)
        return writeRuns(from, to);
    bool ok = true;
    m_store.writeUtf8(from, to, [&](const char *bytes, qint64 n) { ok = ok && m_file.write(bytes, n) == n; });
    return ok;
}

bool LogSave::writeDump(qint64 to)
{
    bool ok = true;
    m_walk.walk(m_at, to,
                {[&](qint64 a, qint64 b) { ok = ok && writeText(a, b); },
                 [&](const LogDump::Listing &listing, qint64 first, qint64 end) {
                     LogDump::rowsInPieces(m_store, listing, first, end, [&](const QString &rows) {
                         ok = ok
                             && (m_page ? put(QStringLiteral("<span style=\"color:#%1\">")
                                                  .arg(rgbFromBgr(listing.colour), 6, 16, QLatin1Char('0'))
                                              + rows.toHtmlEscaped() + QStringLiteral("</span>"))
                                        : put(rows));
                     });
                 },
                 [&] { ok = ok && put(QStringLiteral("\n")); }});
    return ok;
}

bool LogSave::writeRuns(qint64 from, qint64 to)
{
    // A run of one colour at a time, in bounded pieces.
    constexpr qint64 kPiece = 1 << 20;
    for (qint64 at = from; at < to;) {
        qint64 from = at, runEnd = at;
        const quint32 colour = m_store.colourAt(at, &from, &runEnd);
        const qint64 end = std::min({runEnd, at + kPiece, to});
        const QString text = m_store.text(at, end).toHtmlEscaped();
        const bool ok = runEnd == at + 1 && text == QStringLiteral("\n")
            ? put(text) // a line break has no colour of its own
            : put(QStringLiteral("<span style=\"color:#%1\">").arg(rgbFromBgr(colour), 6, 16, QLatin1Char('0')) + text
                  + QStringLiteral("</span>"));
        if (!ok)
            return false;
        at = end;
    }
    return true;
}

void LogSave::end(const Problem &problem)
{
    if (problem && m_file.isOpen())
        m_file.cancelWriting();
    m_running = false;
    emit finished(problem);
}
