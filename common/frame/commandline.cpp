// SPDX-License-Identifier: MIT
#include "commandline.h"

#include "consolewindow.h"
#include "framedialog.h"
#include "quicksends.h"
#include "logcommands.h"
#include "sendboxmenu.h"
#include "timestamp.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QRadioButton>

#include <cstdio>

namespace {

const QStringList kModes = {QStringLiteral("text"), QStringLiteral("bytes")};

// The command line's words for a menu's choices, in the menu's order.
template<typename Names>
QStringList optionWords(const Names &names)
{
    QStringList words;
    for (const auto &name : names)
        words << QString::fromLatin1(name.option);
    return words;
}
const QStringList kLineEndingWords = optionWords(kLineEndings);
const QStringList kChecksumWords = optionWords(kChecksums);

void print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
}

} // namespace

CommandLine::CommandLine(const QString &description)
    : m_sendMode(QStringLiteral("send-mode"),
                 QStringLiteral("Send what the send box holds as text (发送文本) or as hexadecimal bytes (发送字节)."),
                 QStringLiteral("text|bytes")),
      m_receiveMode(QStringLiteral("receive-mode"),
                    QStringLiteral("Show what arrives as text (接收文本) or as bytes (接收字节)."),
                    QStringLiteral("text|bytes")),
      m_frameGap(QStringLiteral("frame-gap"),
                 QStringLiteral("End a received entry after MS milliseconds of silence, 1 to 1000 (the log's menu, "
                                "接收分帧); 0, the default, collects a second at a time."),
                 QStringLiteral("MS")),
      m_msStamps(QStringLiteral("ms-stamps"), QStringLiteral("Stamp entries to the millisecond (毫秒时间戳).")),
      m_dump(QStringLiteral("dump"), QStringLiteral("Show listed bytes as a hex dump, sixteen a row with their offset and "
                                                    "characters (the log's menu, 十六进制转储).")),
      m_lineEnding(QStringLiteral("line-ending"),
                   QStringLiteral("End every text send in none, CR, LF or CR LF (the send box's menu, 行尾)."),
                   kLineEndingWords.join(u'|')),
      m_checksum(QStringLiteral("checksum"),
                 QStringLiteral("Append a checksum to every byte send (the send box's menu, 校验): ")
                     + kChecksumWords.join(QStringLiteral(", ")) + u'.',
                 QStringLiteral("KIND")),
      m_quickSends(QStringLiteral("quick-sends"),
                   QStringLiteral("Put the quick sends of FILE (exported from 快捷发送…) on F1 to F12, for this run."),
                   QStringLiteral("FILE")),
      m_record(QStringLiteral("record"),
               QStringLiteral("Record the log to FILE (记录到文件), from its first line on."), QStringLiteral("FILE"))
{
    QCoreApplication::setApplicationVersion(QStringLiteral(CONSOLES_VERSION));
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addVersionOption();
}

int CommandLine::parse(const QStringList &arguments, const std::function<Problem()> &check)
{
    // After the tool's own, in --help.
    m_parser.addOptions({m_sendMode, m_receiveMode, m_frameGap, m_msStamps, m_dump, m_lineEnding, m_checksum, m_quickSends,
                         m_record});
    if (!m_parser.parse(arguments))
        return fail(Problem(m_parser.errorText()));
    if (m_parser.isSet(QStringLiteral("help"))) {
        print(stdout, m_parser.helpText());
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        print(stdout, QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n');
        return 0;
    }
    if (!m_parser.positionalArguments().isEmpty())
        return fail(Problem(QStringLiteral("%1: not an option (see --help)").arg(m_parser.positionalArguments().first())));
    Problem problem;
    for (const auto &[option, words] : {std::pair{&m_sendMode, &kModes}, std::pair{&m_receiveMode, &kModes},
                                        std::pair{&m_lineEnding, &kLineEndingWords},
                                        std::pair{&m_checksum, &kChecksumWords}}) {
        if (m_parser.isSet(*option) && choose(*option, *words, &problem) < 0)
            return fail(problem);
    }
    if (m_parser.isSet(m_frameGap)) {
        bool number = false;
        const int gap = m_parser.value(m_frameGap).toInt(&number);
        if (!number || gap < 0 || gap > FrameDialog::kMostGapMs)
            return fail(refuse(QStringLiteral("--frame-gap"), m_parser.value(m_frameGap),
                               QStringLiteral("not a number of milliseconds from 0 to %1").arg(FrameDialog::kMostGapMs)));
    }
    if (m_parser.isSet(m_quickSends)) {
        m_quickSendSet = std::make_shared<QuickSendSet>();
        const QString path = m_parser.value(m_quickSends);
        if (const Problem problem = QuickSendSet::load(path, m_quickSendSet.get()))
            return fail(refuse(QStringLiteral("--quick-sends"), path, problem.description()));
    }
    if (m_parser.isSet(m_record)) {
        // Made now, as the recording would make it: a file that cannot be
        // written is told before any window appears.
        const QString path = m_parser.value(m_record);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::WriteOnly))
            return fail(refuse(QStringLiteral("--record"), path, path.isEmpty() ? QStringLiteral("no file named") : file.errorString()));
    }
    if (const Problem tool = check())
        return fail(tool);
    // Before the window exists: its start line is stamped so too.
    if (m_parser.isSet(m_msStamps))
        setStampsCarryMilliseconds(true);
    return -1;
}

int CommandLine::applyTo(ConsoleWindow &window)
{
    Problem ignored; // (checked by parse())
    if (m_parser.isSet(m_sendMode))
        window.OptSend[choose(m_sendMode, kModes, &ignored)]->click();
    if (m_parser.isSet(m_receiveMode))
        window.OptArrv[choose(m_receiveMode, kModes, &ignored)]->click();
    if (m_parser.isSet(m_frameGap) || m_parser.isSet(m_msStamps))
        window.setFraming(m_parser.isSet(m_frameGap) ? m_parser.value(m_frameGap).toInt() : window.frameGap(),
                          m_parser.isSet(m_msStamps));
    if (m_parser.isSet(m_dump))
        window.logCommands()->showDump(true);
    if (m_quickSendSet)
        window.useQuickSends(*m_quickSendSet);
    if (m_parser.isSet(m_lineEnding))
        window.sendBoxMenu()->setLineEnding(kLineEndings[choose(m_lineEnding, kLineEndingWords, &ignored)].value);
    if (m_parser.isSet(m_checksum))
        window.sendBoxMenu()->setChecksum(kChecksums[choose(m_checksum, kChecksumWords, &ignored)].value);
    if (m_parser.isSet(m_record)) {
        const QString path = m_parser.value(m_record);
        if (const Problem problem = window.logCommands()->recordFromTheStart(path))
            return fail(refuse(QStringLiteral("--record"), path, problem.description()));
    }
    return -1;
}

void CommandLine::pressWhenShown(QAbstractButton *button)
{
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

Problem CommandLine::refuse(const QString &option, const QString &value, const QString &reason)
{
    return Problem(option + u' ' + value + QStringLiteral(": ") + reason);
}

int CommandLine::choose(const QCommandLineOption &option, const QStringList &choices, Problem *problem) const
{
    const QString value = m_parser.value(option);
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (value.compare(choices.at(i), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    *problem = refuse(QStringLiteral("--") + option.names().constFirst(), value,
                      QStringLiteral("not one of ") + choices.join(QStringLiteral(", ")));
    return -1;
}

int CommandLine::fail(const Problem &problem)
{
    print(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + problem.description() + u'\n');
    return 2;
}
