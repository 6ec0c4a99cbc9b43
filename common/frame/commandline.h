// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <functional>
#include <memory>

class ConsoleWindow;
struct QuickSendSet;
class QAbstractButton;

// A tool's command line: the options both tools take (--send-mode,
// --receive-mode, --frame-gap, --ms-stamps, --dump, --line-ending,
// --checksum, --quick-sends, --record, --help, --version)
// and those the tool adds.
// Each acts as the same clicks on the window would. A bad command line is
// told in one line on standard error, naming the option and the reason,
// before any window appears.
class CommandLine
{
public:
    explicit CommandLine(const QString &description);

    // For the tool's own options.
    QCommandLineParser &parser() { return m_parser; }

    // Reads `arguments`, then has `check` look at the tool's options. Returns
    // -1 to go on; else the exit status, --help, --version or the problem
    // (status 2) having been printed.
    int parse(const QStringList &arguments, const std::function<Problem()> &check);

    // Sets the send and receive options and starts the recording; a
    // problem is printed, and the exit status returned (else -1).
    int applyTo(ConsoleWindow &window);

    // Presses `button` once the window is shown and the program runs.
    static void pressWhenShown(QAbstractButton *button);

    // The problem with `option`'s value `value`: "--option value: reason".
    static Problem refuse(const QString &option, const QString &value, const QString &reason);
    // The index of `option`'s value among `choices` (as written there, in
    // any case); -1, with the problem, when it is none of them.
    int choose(const QCommandLineOption &option, const QStringList &choices, Problem *problem) const;
    // Prints "program: problem" on standard error; returns the exit status.
    static int fail(const Problem &problem);

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_sendMode;
    QCommandLineOption m_receiveMode;
    QCommandLineOption m_frameGap;
    QCommandLineOption m_msStamps;
    QCommandLineOption m_dump;
    QCommandLineOption m_lineEnding;
    QCommandLineOption m_checksum;
    QCommandLineOption m_quickSends;
    std::shared_ptr<QuickSendSet> m_quickSendSet; // read by parse()
    QCommandLineOption m_record;
};
