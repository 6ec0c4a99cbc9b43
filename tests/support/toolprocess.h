// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>

// A tool's program started as its user would, with arguments, offscreen.
class ToolProcess
{
public:
    ToolProcess(const QString &program, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.start(program, arguments);
    }
    ~ToolProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The status it ended with (-1: still running after `ms`).
    int finish(int ms = 10000)
    {
        if (!m_process.waitForFinished(ms))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QString standardOutput() { return QString::fromLocal8Bit(m_process.readAllStandardOutput()); }
    // What it said on standard error, without Qt's own remarks about the
    // environment.
    QStringList errorLines()
    {
        QStringList lines;
        for (const QString &line : QString::fromLocal8Bit(m_process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts))
            if (!line.startsWith(QStringLiteral("QStandardPaths:")))
                lines << line;
        return lines;
    }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
};

// A bad command line ends the tool at once, with status 2 and one line on
// standard error: "<tool>: <said>".
inline void checkRefused(const QString &program, const QString &tool, const QStringList &arguments, const QString &said)
{
    ToolProcess process(program, arguments);
    QCOMPARE(process.finish(), 2);
    QCOMPARE(process.errorLines(), QStringList{tool + QStringLiteral(": ") + said});
}

// --help names every one of `options`; --version says "<tool> <version>".
inline void checkHelpAndVersion(const QString &program, const QString &tool, const QStringList &options,
                                const QString &version)
{
    ToolProcess help(program, {QStringLiteral("--help")});
    QCOMPARE(help.finish(), 0);
    const QString text = help.standardOutput();
    for (const QString &option : options)
        QVERIFY2(text.contains(option), qPrintable(option));
    ToolProcess shown(program, {QStringLiteral("--version")});
    QCOMPARE(shown.finish(), 0);
    QCOMPARE(shown.standardOutput(), tool + u' ' + version + u'\n');
}

// The text of a file being written by another program, once it holds
// `wanted` (or what it holds after `ms`).
inline QString waitForFileText(const QString &path, const QString &wanted, int ms = 20000)
{
    QString text;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            text = QString::fromUtf8(file.readAll());
        if (text.contains(wanted))
            break;
        QTest::qWait(50);
    }
    return text;
}
