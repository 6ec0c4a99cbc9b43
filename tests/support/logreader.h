// SPDX-License-Identifier: MIT
#pragma once

#include "logcolours.h"
#include "logpane.h"
#include "timestamp.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>

// Reading the log as its user does: the text (line breaks as "\n", a long
// line whole), its lines with each time stamp marked, and the colour of
// every piece, as 0x00BBGGRR.
namespace logreader {

// What a time stamp at the start of a line reads as in `shape`, so that
// lines compare from run to run.
inline const QString kStamp = QStringLiteral("T");

constexpr quint32 kMixedColours = 0xFFFFFFFF;
constexpr quint32 kAbsent = 0xFFFFFFFE;
constexpr int kLast = -1; // an occurrence: the last one

inline QString logText(const LogPane *log)
{
    return log->logText();
}

inline QStringList logLines(const LogPane *log)
{
    return logText(log).split(u'\n');
}

inline QString lastLine(const LogPane *log)
{
    return logLines(log).constLast();
}

// A little before this program started, on a whole second: every stamp its
// logs show is the stamp of a second from then until now.
inline const QDateTime kProgramStart = [] {
    QDateTime start = QDateTime::currentDateTime().addSecs(-2);
    start.setTime(QTime(start.time().hour(), start.time().minute(), start.time().second()));
    return start;
}();

// How long the time stamp that `line` starts with is; 0 when it has none.
inline qsizetype stampLength(const QString &line)
{
    // The stamps of all seconds so far, each made once.
    static QSet<QString> stamps;
    static QList<qsizetype> lengths;
    static QDateTime next = kProgramStart;
    for (const QDateTime now = QDateTime::currentDateTime(); next <= now; next = next.addSecs(1)) {
        const QString stamp = generalDateTime(next);
        stamps.insert(stamp);
        if (!lengths.contains(stamp.size()))
            lengths.append(stamp.size());
    }
    for (const qsizetype n : std::as_const(lengths))
        if (line.size() >= n && stamps.contains(line.left(n)))
            return n;
    return 0;
}

// A line with the time stamp it starts with read as kStamp.
inline QString shapeLine(const QString &line)
{
    const qsizetype n = stampLength(line);
    return n > 0 ? kStamp + line.mid(n) : line;
}

inline QStringList shapedLines(const LogPane *log)
{
    QStringList out;
    for (const QString &line : logLines(log))
        out << shapeLine(line);
    return out;
}

// When `line` says its entry happened, to the millisecond, from a stamp
// that carries milliseconds; -1 when it has none.
inline qint64 stampedMs(const QString &line)
{
    const qsizetype n = stampLength(line);
    if (n == 0 || line.size() < n + 4 || line.at(n) != u'.')
        return -1;
    bool number = false;
    const int ms = line.mid(n + 1, 3).toInt(&number);
    if (!number)
        return -1;
    QDateTime second = QDateTime::currentDateTime();
    second.setTime(QTime(second.time().hour(), second.time().minute(), second.time().second()));
    for (; second >= kProgramStart; second = second.addSecs(-1))
        if (generalDateTime(second) == line.left(n))
            return second.toMSecsSinceEpoch() + ms;
    return -1;
}

// The whole log, each time stamp read as kStamp.
inline QString shape(const LogPane *log)
{
    return shapedLines(log).join(u'\n');
}

// The last `n` shaped lines.
inline QStringList tail(const LogPane *log, int n)
{
    const QStringList all = shapedLines(log);
    return all.mid(std::max<qsizetype>(0, all.size() - n));
}

// What follows `header` on each line that has it, in order.
inline QStringList entriesAfter(const LogPane *log, const QString &header)
{
    QStringList texts;
    for (const QString &line : logLines(log)) {
        const qsizetype at = line.indexOf(header);
        if (at >= 0)
            texts.append(line.mid(at + header.size()));
    }
    return texts;
}

// The texts of all "received text" entries, in order.
inline QStringList receivedTexts(const LogPane *log)
{
    return entriesAfter(log, QStringLiteral("  接收文本：  "));
}

struct Run
{
    quint32 colour;
    QString text;
};

// The log as runs of one colour each; together their texts are logText().
// A line break has the colour of the line it starts.
inline QList<Run> colourRuns(const LogPane *log)
{
    const LogStore &store = log->store();
    const QString text = logText(log);
    QList<Run> runs;
    auto add = [&runs](quint32 colour, QStringView piece) {
        if (piece.isEmpty())
            return;
        if (!runs.isEmpty() && runs.last().colour == colour)
            runs.last().text += piece;
        else
            runs.append({colour, piece.toString()});
    };
    for (qint64 at = 0; at < text.size();) {
        if (text.at(at) == u'\n') {
            add(store.colourAt(at + 1), u"\n");
            ++at;
            continue;
        }
        qint64 from = at, to = at;
        const quint32 colour = store.colourAt(at, &from, &to);
        add(colour, QStringView(text).mid(at, to - at));
        at = to;
    }
    return runs;
}

// The one colour of the `occurrence`-th `piece` in the log (kLast: the
// last), line breaks excepted; kMixedColours when it is not uniform, kAbsent
// when there is no such occurrence.
inline quint32 colourOf(const LogPane *log, const QString &piece, int occurrence = 0)
{
    QString text;
    QList<quint32> colours;
    for (const Run &run : colourRuns(log)) {
        text += run.text;
        colours.insert(colours.size(), run.text.size(), run.colour);
    }
    qsizetype at = occurrence == kLast ? text.lastIndexOf(piece) : -1;
    for (int i = 0; i <= occurrence && (i == 0 || at >= 0); ++i)
        at = text.indexOf(piece, at + 1);
    if (at < 0)
        return kAbsent;
    quint32 colour = kMixedColours;
    for (qsizetype i = at; i < at + piece.size(); ++i) {
        if (text.at(i) == u'\n')
            continue;
        if (colour == kMixedColours)
            colour = colours.at(i);
        else if (colours.at(i) != colour)
            return kMixedColours;
    }
    return colour;
}

// The shaped lines written all in red, in order.
inline QStringList redEntries(const LogPane *log)
{
    QStringList entries;
    QString line;
    bool red = true;
    auto endLine = [&] {
        if (!line.isEmpty() && red)
            entries.append(shapeLine(line));
        line.clear();
        red = true;
    };
    for (const Run &run : colourRuns(log)) {
        for (const QChar c : run.text) {
            if (c == u'\n') {
                endLine();
                continue;
            }
            line += c;
            red = red && run.colour == kRed;
        }
    }
    endLine();
    return entries;
}

} // namespace logreader
