// SPDX-License-Identifier: MIT
#pragma once

#include "logdump.h"
#include "problem.h"

#include <QObject>
#include <QSaveFile>

class LogStore;

// Writes [from, to) of the log to a file, a slice at a time between
// events, so that a save of gigabytes never holds the window; whole or not
// at all, as saveFile writes (a file beside it replaces it at the end). As
// UTF-8 text, exactly as a copy gives it; or as a page that keeps every
// colour (a span per run, the text escaped). Text appended meanwhile is not
// in it; a log cleared meanwhile ends it with a problem.
class LogSave : public QObject
{
    Q_OBJECT
public:
    // Characters written in one turn of the event loop.
    static constexpr qint64 kSlice = qint64(1) << 24;

    LogSave(const LogStore &store, qint64 from, qint64 to, const QString &path, QObject *parent = nullptr);
    // As a page titled `title`.
    void setPage(const QString &title) { m_page = true, m_title = title; }
    // Its listings as the dump view shows them (LogDump).
    void setDump(bool on) { m_dump = on; }

    // Makes the file and writes the first slice; the rest follows between
    // events, then finished(). A problem: nothing was made, and finished()
    // does not follow.
    Problem begin();
    // Writes what is left at once (the program is quitting).
    void finishNow();
    bool running() const { return m_running; }

signals:
    void finished(const Problem &problem);

private:
    void next();
    // One slice; false once done.
    bool step();
    void end(const Problem &problem);
    bool put(const QString &text);
    // Writes [from, to) of the log's text: as UTF-8, or as the page's runs.
    bool writeText(qint64 from, qint64 to);
    bool writeRuns(qint64 from, qint64 to);
    // Writes [m_at, to) as the dump view shows it.
    bool writeDump(qint64 to);

    const LogStore &m_store;
    qint64 m_at;
    qint64 m_to;
    quint64 m_clears;
    QSaveFile m_file;
    bool m_page = false;
    QString m_title;
    bool m_dump = false;
    LogDump::Walk m_walk{m_store};
    bool m_running = false;
};
