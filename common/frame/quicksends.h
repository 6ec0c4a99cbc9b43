// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"
#include "sendcommand.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class Link;
class LogSink;

// A ready-made message on a key (F1 to F12): text or bytes, with its own
// line ending and checksum, sent once or repeated every so many
// milliseconds, so many times or until stopped.
struct QuickSend
{
    static constexpr int kLeastPeriodMs = 10;
    static constexpr int kMostPeriodMs = 3600 * 1000;

    QString name;
    QString content;
    bool bytes = false;
    LineEnding ending = LineEnding::None;
    Checksum checksum = Checksum::None;
    int periodMs = 0; // 0: sent once
    int count = 0;    // of a repeat; 0: until stopped

    bool defined() const { return !content.trimmed().isEmpty(); }
    // What is wrong with it (a byte slot that is not hexadecimal bytes, a
    // period below the least), or nothing.
    Problem check() const;
    // The key's words: "F1" and the name, or the start of the content.
    QString label(int slot) const;
};

// The twelve quick sends, kept in the tool's configuration folder and
// exported and imported as files of the same form.
struct QuickSendSet
{
    static constexpr int kKeys = 12;
    std::array<QuickSend, kKeys> keys;

    QByteArray toJson() const;
    // A problem, and `*set` unchanged, when `json` is not a set of ours.
    static Problem fromJson(const QByteArray &json, QuickSendSet *set);
    Problem save(const QString &path) const;
    static Problem load(const QString &path, QuickSendSet *set);
};

// Sends a quick send once, or repeats it. A repeat never piles sends up
// behind a slow link: a tick that finds the last send still waiting to go
// out is skipped, and counted. It ends when its count is reached, when
// stopped, and when the link ends or refuses; its end is one entry saying
// how many went and how many ticks were skipped.
class QuickSender : public QObject
{
    Q_OBJECT
public:
    QuickSender(Link &link, LogSink &log, QObject *parent = nullptr);

    // Sends `send` (a repeat under way ends first); nothing when the link
    // is down.
    void send(const QuickSend &send);
    // Ends a repeat under way: `why` is said in its end's entry.
    void stop(const QString &why);
    bool repeating() const { return m_timer.isActive(); }

signals:
    void repeatingChanged(bool repeating);

private:
    // One send; false (and the repeat ended) when it could not go.
    bool sendOnce();
    void tick();

    Link &m_link;
    LogSink &m_log;
    QuickSend m_send;
    QTimer m_timer;
    int m_sent = 0;
    int m_skipped = 0;
};
