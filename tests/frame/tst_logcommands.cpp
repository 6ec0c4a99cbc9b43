// SPDX-License-Identifier: MIT
#include "guard.h"
#include "logcolours.h"
#include "logcommands.h"
#include "logfindbar.h"
#include "logmenu.h"
#include "logpane.h"
#include "logrecorder.h"
#include "logsave.h"
#include "messagebox.h"
#include "procstatus.h"
#include "savedialog.h"
#include "startup.h"
#include "xxd.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <csignal>
#include <cstdio>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

using namespace logmenu;

// The address sanitizer takes an exhausted address space for a failure of
// its own and ends the program.
#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER
#endif
#endif

namespace {
// This program again, as the child that `role` names, recording to `path`.
void startChild(QProcess &child, const QString &role, const QString &path)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(role, path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
}
} // namespace

// The log's commands beside the pane, as a user gives them: find, the menu
// in the user's language, recording to a file.
class TstLogCommands : public QObject
{
    Q_OBJECT
private slots:
    void findsForwardBackwardAndAround();
    void findInALargeLogLeavesTheWindowLive();
    void theFindFieldHidesNoLine();
    void qtWordsInTheUsersLanguage();
    void recordingReadsAsTheLog();
    void recordingSurvivesAKilledProcess();
    void recordingThatCannotStartSaysSo();
    void recordingCutShortEndsOnAWholeCharacter();
    void noMemoryLeftIsToldAndTheLogKept();
    void fullDiskIsToldAndNothingLost_data();
    void fullDiskIsToldAndNothingLost();
    void copyTooLargeForTheClipboardIsSaved();
    void pageSavedInSlicesReadsAsTheLog();
    void dumpViewFromTheMenuInCopyAndSave();
};

void TstLogCommands::findsForwardBackwardAndAround()
{
    LogPane log;
    LogCommands commands(&log);
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("alpha beta\r\nAlpha 中文 gamma"));
    log.appendListing(kBlack, QByteArray("\xAB\xCD", 2));
    log.AppendLog(kRed, QStringLiteral(" ALPHA end"));
    const QString text = log.logText();
    LogFindBar *bar = commands.findBar();
    log.setFocus();
    log.setSelection(0, 0);
    QTest::keyClick(&log, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    QVERIFY(bar->field()->hasFocus());
    // Drawn over the bottom of the log: the log keeps its size.
    QVERIFY(log.viewport()->geometry().contains(bar->geometry().center()));

    const auto selected = [&] { return QPair<qint64, qint64>(log.selectionStart(), log.selectionEnd()); };
    const auto at = [&](const QString &what, int occurrence) {
        qsizetype i = -1;
        for (int k = 0; k <= occurrence; ++k)
            i = text.indexOf(what, i + 1, Qt::CaseInsensitive);
        return QPair<qint64, qint64>(i, i + what.size());
    };
    QTest::keyClicks(bar->field(), QStringLiteral("alp"));
    QTRY_COMPARE(selected(), at(QStringLiteral("alp"), 0));
    QTest::keyClicks(bar->field(), QStringLiteral("ha")); // refined in place
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 0));
    QTest::keyClick(bar->field(), Qt::Key_Return);
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 1)); // "Alpha": any case
    QTest::keyClick(bar->field(), Qt::Key_F3);
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 2));
    QTest::keyClick(bar->field(), Qt::Key_F3); // past the end: from the start again
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 0));
    QCOMPARE(bar->status(), QStringLiteral("已从另一端继续"));
    QTest::keyClick(bar->field(), Qt::Key_F3, Qt::ShiftModifier); // back past the start
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 2));
    QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);
    QTRY_COMPARE(selected(), at(QStringLiteral("alpha"), 1));
    QVERIFY(bar->status().isEmpty());

    // Inside a listing and across the wide characters.
    bar->field()->setText(QStringLiteral("ab  cd"));
    bar->findNext();
    QTRY_COMPARE(selected(), at(QStringLiteral("AB  CD"), 0));
    bar->field()->setText(QStringLiteral("中文 g"));
    bar->findNext();
    QTRY_COMPARE(selected(), at(QStringLiteral("中文 g"), 0));

    // No match: said, and the selection stays.
    const auto before = selected();
    QTest::keyClicks(bar->field(), QStringLiteral("zz"));
    QTRY_COMPARE(bar->status(), QStringLiteral("找不到"));
    QCOMPARE(selected(), before);

    // The field's clear button is heard by its word, and clears it.
    auto *clear = bar->field()->findChild<QToolButton *>();
    QVERIFY(clear);
    QCOMPARE(QAccessible::queryAccessibleInterface(clear)->text(QAccessible::Name), QStringLiteral("清除"));
    QTRY_VERIFY(clear->isVisible());
    clear->click();
    QVERIFY(bar->field()->text().isEmpty());

    QTest::keyClick(bar->field(), Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QVERIFY(log.hasFocus());
    // F3 in the log opens it again and goes on with the last text.
    bar->field()->setText(QStringLiteral("end"));
    QTest::keyClick(&log, Qt::Key_F3);
    QTRY_COMPARE(selected(), at(QStringLiteral("end"), 0));
}

void TstLogCommands::theFindFieldHidesNoLine()
{
    LogPane log;
    LogCommands commands(&log);
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    for (int i = 0; i < 60; ++i)
        log.AppendLog(kBlack, QStringLiteral("line %1\r\n").arg(i));
    log.AppendLog(kBlack, QStringLiteral("needle at the end"));
    const qint64 last = log.logText().size() - 1;
    LogFindBar *bar = commands.findBar();
    // Where the field lies, in the viewport's coordinates.
    const auto fieldTop = [&] { return bar->geometry().top() - log.viewport()->geometry().top(); };
    const auto lastRowClear = [&] { return log.characterRect(last).bottom() < fieldTop(); };

    // Following the end: opening the field lifts the last line above it.
    QVERIFY(log.characterRect(last).bottom() < log.viewport()->height());
    bar->open();
    QVERIFY(lastRowClear());
    log.AppendLog(kBlack, QStringLiteral("\r\nmore"));
    QVERIFY(log.characterRect(log.logText().size() - 1).bottom() < fieldTop());

    // A match on a line the field would cover is shown above it.
    log.verticalScrollBar()->setValue(0);
    bar->field()->setText(QStringLiteral("more"));
    bar->findNext();
    QTRY_COMPARE(log.selectedText(), QStringLiteral("more"));
    QVERIFY(log.characterRect(log.selectionStart()).bottom() < fieldTop());

    // Closed, the rows below come back into use: the end is at the bottom.
    log.verticalScrollBar()->setValue(log.verticalScrollBar()->maximum());
    bar->close();
    QCOMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum());
    QVERIFY(log.characterRect(log.logText().size() - 1).bottom() >= fieldTop());
    QVERIFY(log.characterRect(log.logText().size() - 1).bottom() < log.viewport()->height());
}

void TstLogCommands::findInALargeLogLeavesTheWindowLive()
{
    // Six slices of text before the match, listings between them (looked
    // through by their bytes, at a fraction of a slice's cost): the search
    // runs between events, and a timer fires while it does.
    LogPane log;
    LogCommands commands(&log);
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QString block(int(LogSearch::kSlice), u'x');
    for (int i = 0; i < 6; ++i) {
        log.AppendLog(kBlack, block);
        log.appendListing(kBlack, QByteArray(int(LogSearch::kSlice / 8), '\x11'));
    }
    log.AppendLog(kBlack, QStringLiteral("\r\nthe needle"));
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    commands.findBar()->open();
    commands.findBar()->field()->setText(QStringLiteral("NEEDLE"));
    log.setSelection(0, 0);
    commands.findBar()->findNext();
    QVERIFY(commands.findBar()->searching());
    QTRY_VERIFY_WITH_TIMEOUT(!commands.findBar()->searching(), 20000);
    QCOMPARE(log.selectedText(), QStringLiteral("needle"));
    QVERIFY2(ticks >= 6, qPrintable(QString::number(ticks)));
    // Backward from the end finds the same.
    log.setSelection(log.store().size(), log.store().size());
    commands.findBar()->findPrevious();
    QTRY_VERIFY_WITH_TIMEOUT(!commands.findBar()->searching(), 20000);
    QCOMPARE(log.selectedText(), QStringLiteral("needle"));
}

void TstLogCommands::qtWordsInTheUsersLanguage()
{
    // (The tests run in the C locale: Qt's words are English elsewhere.)
    QTranslator *german = loadQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::German));
    if (!german)
        QSKIP("Qt's translations are not installed (qt6-translations-l10n)");
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("text"));
    log.selectAll();
    const QStringList actions = contextMenuActions(&log);
    QCoreApplication::removeTranslator(german);
    delete german;
    QVERIFY2(actions.contains(QStringLiteral("+&Kopieren")), qPrintable(actions.join(u',')));
    QVERIFY(contextMenuActions(&log).contains(QStringLiteral("+&Copy")));
}

void TstLogCommands::recordingReadsAsTheLog()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    LogPane log;
    LogCommands commands(&log);
    log.AppendLog(kBlack, QStringLiteral("before the recording"));
    setSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
        return title == QStringLiteral("记录到文件") ? path : QString();
    });
    commands.setRecording(true);
    setSavePathHook(nullptr);
    QVERIFY(commands.recorder()->recording());
    const qint64 from = log.store().size();
    log.AppendLog(kBlack, QStringLiteral("\r\nT  接收文本：  中文 and \0 text\r"));
    log.AppendLog(kBlue, QStringLiteral("成功"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT  接收数据："));
    log.appendListing(kBlack, QByteArray("\x00\x7F\xFF", 3));
    // Quitting writes out what is pending, before the program ends.
    int quits = 0;
    setQuitHook([&] { ++quits; });
    quitProgram();
    setQuitHook(nullptr);
    QCOMPARE(quits, 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray atQuit = file.readAll();
    QCOMPARE(QString::fromUtf8(atQuit), log.textBetween(from, log.store().size()));

    // Unchecked in the menu: the log says so, and so does the file, which
    // is then closed; later text stays out.
    QStringList actions = contextMenuActions(&log);
    QVERIFY2(actions.contains(QStringLiteral("+记录到文件…")), qPrintable(actions.join(u',')));
    const qint64 beforeStop = log.store().size();
    triggerContextAction(&log, QStringLiteral("记录到文件…"));
    QVERIFY(!commands.recorder()->recording());
    const QString stopLine = log.textBetween(beforeStop, log.store().size());
    QVERIFY2(QRegularExpression(QStringLiteral("^\n.+  停止记录$")).match(stopLine).hasMatch(), qPrintable(stopLine));
    log.AppendLog(kRed, QStringLiteral("\r\nafter"));
    file.seek(0);
    QCOMPARE(QString::fromUtf8(file.readAll()), QString::fromUtf8(atQuit) + stopLine);

    // Ticked in the menu: the log's next line says where it records, and
    // it is the file's first line.
    const QString again = dir.filePath(QStringLiteral("again.txt"));
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return again; });
    const qint64 before = log.store().size();
    triggerContextAction(&log, QStringLiteral("记录到文件…"));
    setSavePathHook(nullptr);
    QVERIFY(commands.recorder()->recording());
    const QString startLine = log.textBetween(before, log.store().size());
    QVERIFY2(startLine.endsWith(QStringLiteral("  开始记录：") + again), qPrintable(startLine));
    QCOMPARE(log.store().colourAt(log.store().size() - 1), kBlack);
    commands.recorder()->flush();
    QFile second(again);
    QVERIFY(second.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(second.readAll()), startLine);
}

void TstLogCommands::recordingSurvivesAKilledProcess()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    QProcess child;
    startChild(child, QStringLiteral("LOG_RECORD_CHILD"), path);
    QVERIFY(child.waitForStarted(10000));
    QByteArray said;
    QDeadlineTimer deadline(20000);
    while (!said.contains("ready\n") && !deadline.hasExpired()) {
        child.waitForReadyRead(100);
        said += child.readAllStandardOutput();
    }
    QVERIFY2(said.contains("ready\n"), said.constData());
    child.kill(); // SIGKILL: nothing of the program runs after it
    QVERIFY(child.waitForFinished(10000));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString got = QString::fromUtf8(file.readAll());
    // All that was written a flush interval before "ready", in order; after
    // it, only whole or cut-off later lines, none lost in between.
    QString expected;
    for (int i = 0; i < 200; ++i)
        expected += QStringLiteral("line %1\n").arg(i);
    QVERIFY2(got.startsWith(expected), qPrintable(got.left(200)));
    QString later;
    for (int i = 0; later.size() < got.size() - expected.size() + 20; ++i)
        later += QStringLiteral("more %1\n").arg(i);
    QVERIFY(later.startsWith(got.mid(expected.size())));
}

void TstLogCommands::recordingThatCannotStartSaysSo()
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QStringList notices;
    setNoticeHook([&](const QString &text, const QString &) { notices << text; });
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) {
        return dir.filePath(QStringLiteral("plain/record.txt"));
    });
    LogPane log;
    LogCommands commands(&log);
    commands.setRecording(true);
    setSavePathHook(nullptr);
    setNoticeHook(nullptr);
    QVERIFY(!commands.recorder()->recording());
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().startsWith(QStringLiteral("无法记录：")));
}

namespace {

// The child of recordingSurvivesAKilledProcess: records, says "ready" once
// its first lines are on the disk, then writes on until it is killed.
int recordChild(const QString &path)
{
    LogPane log;
    LogCommands commands(&log);
    if (commands.recorder()->start(path))
        return 2;
    for (int i = 0; i < 200; ++i)
        log.AppendLog(kBlack, QStringLiteral("line %1\r\n").arg(i));
    QTest::qWait(3 * LogRecorder::kFlushMs);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (int i = 0;; ++i) {
        log.AppendLog(kBlack, QStringLiteral("more %1\r\n").arg(i));
        QTest::qWait(2);
    }
}

} // namespace

namespace {

// The child of recordingCutShortEndsOnAWholeCharacter: records under a file
// size limit that falls inside a character (as a full disk would), then
// writes the recorded stretch of the log beside the file, and prints the
// notice it was given.
constexpr qint64 kRecordLimit = 1001;

int recordUnderLimitChild(const QString &path)
{
    QString notice;
    setNoticeHook([&](const QString &text, const QString &) { notice = text; });
    LogPane log;
    LogCommands commands(&log);
    // The log's own file has its first chunk before the limit.
    log.AppendLog(kBlack, QStringLiteral("before: not recorded"));
    ::signal(SIGXFSZ, SIG_IGN); // the write fails instead
    const rlimit limit{rlim_t(kRecordLimit), rlim_t(kRecordLimit)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 3;
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return path; });
    commands.setRecording(true);
    const qint64 from = log.store().size();
    // "\n" and then three bytes a character: the 1001st byte is the first
    // of a character.
    log.AppendLog(kBlack, QStringLiteral("\r\n") + QString(600, QChar(0x4E2D)));
    commands.recorder()->flush();
    QFile recorded(path + QStringLiteral(".log"));
    if (!recorded.open(QIODevice::WriteOnly))
        return 4;
    recorded.write(log.textBetween(from, log.store().size()).toUtf8());
    recorded.close();
    std::fputs(notice.toUtf8().constData(), stdout);
    return commands.recorder()->recording() ? 5 : 0;
}

} // namespace

void TstLogCommands::recordingCutShortEndsOnAWholeCharacter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    QProcess child;
    startChild(child, QStringLiteral("LOG_RECORD_LIMIT_CHILD"), path);
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 0);
    const QString notice = QString::fromUtf8(child.readAllStandardOutput());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray got = file.readAll();
    QFile whole(path + QStringLiteral(".log"));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    const QByteArray log = whole.readAll();
    // Cut back to the last whole character, and otherwise what the log reads.
    QCOMPARE(got.size(), qsizetype(1 + 3 * 333));
    QCOMPARE(got, log.left(got.size()));
    // The notice says so, and where in the log the file stops: the first
    // character it lacks is the 334th of the log's second line.
    QVERIFY2(notice.startsWith(QStringLiteral("记录中断：") + path + u'\n'), qPrintable(notice));
    QVERIFY2(notice.endsWith(QStringLiteral("\n文件记录到信息第2行第334个字符之前")), qPrintable(notice));
}

namespace {

// The child of noMemoryLeftIsToldAndTheLogKept: appends listings a chunk
// long under the handlers' guard until the system gives no more memory,
// then goes on failing until even the words that say so find no room.
int noMemoryChild()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("kept from before"));
    const QByteArray block(1 << 20, '\x5A'); // the store's chunk: each fills one
    // A little room above what the program holds already.
    const rlimit room{rlim_t(procStatusKib("VmSize:") * 1024 + (96 << 20)), RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &room) != 0)
        return 3;
    int told = 0;
    qint64 listed = 0;
    while (told < 20000) {
        runGuarded([&] { log.appendListing(kBlack, block), listed += block.size(); },
                   [&](const QString &failure) {
                       ++told;
                       log.AppendLog(kRed, QStringLiteral("\r\n  ") + failure);
                   });
    }
    // Everything appended before stays whole; the first failure is told in
    // red on the next line (later ones while room for them lasts). Looked
    // at with the limit lifted: the looking is the test's, not the tool's.
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_AS, &unlimited);
    const LogStore &store = log.store();
    const bool whole = store.text(0, 16) == QStringLiteral("kept from before")
        && store.lineLength(0) == 16 + listed * 4 // (each byte lists as "  5A")
        && store.text(store.lineStart(0) + store.lineLength(0) - 4, store.lineStart(0) + store.lineLength(0)) == QStringLiteral("  5A");
    const QString second = store.text(store.lineStart(1), store.lineStart(1) + store.lineLength(1));
    std::printf("told=%d whole=%d red=%d told-lines=%d second=%s\n", told, int(whole),
                int(store.colourAt(store.lineStart(1)) == kRed), int(store.lineCount() - 1), qPrintable(second));
    return 0;
}

} // namespace

void TstLogCommands::noMemoryLeftIsToldAndTheLogKept()
{
#ifdef UNDER_ADDRESS_SANITIZER
    QSKIP("under the address sanitizer an address-space limit is its own failure (the store's own test still runs)");
#endif
    // The failure to grow is told in red, not into the exhausted store's
    // own failure again; everything kept stays readable; the program goes on.
    QProcess child;
    startChild(child, QStringLiteral("LOG_NO_MEMORY_CHILD"), QStringLiteral("1"));
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromUtf8(child.readAllStandardOutput());
    QVERIFY2(said.startsWith(QStringLiteral("told=20000 whole=1 red=1 ")), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral(" second=  内存不足：信息无法再增长")), qPrintable(said));
    // The spare room held the first reports, not all of them.
    const int toldLines = said.section(QStringLiteral("told-lines="), 1).section(u' ', 0, 0).toInt();
    QVERIFY2(toldLines >= 1 && toldLines < 20000, qPrintable(said));
}

namespace {

// The child of fullDiskIsToldAndNothingLost, in a mount namespace of its
// own with a small tmpfs as its cache folder: the log fills it and goes on
// in memory; a recording on the same disk is cut short.
int fullDiskChild(const QString &folder, bool record)
{
    QString recordNotice;
    setNoticeHook([&](const QString &text, const QString &) { recordNotice = text; });
    LogPane log;
    LogCommands commands(&log);
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) {
        return folder + QStringLiteral("/record.txt");
    });
    if (record)
        commands.setRecording(true);
    constexpr int kEntries = 48;
    for (int i = 0; i < kEntries; ++i) {
        log.AppendLog(kBlack, QStringLiteral("\r\nentry %1: ").arg(i));
        log.appendListing(kBlack, QByteArray(1 << 20, char(0x41 + i)));
    }
    // Every entry whole, in order; the red lines between them are the
    // notices.
    const LogStore &store = log.store();
    int entry = 0, notices = 0;
    QString notice;
    for (qint64 line = 1; line < store.lineCount(); ++line) {
        const qint64 start = store.lineStart(line);
        if (store.colourAt(start) == kRed) {
            ++notices;
            notice = store.text(start, start + store.lineLength(line));
            continue;
        }
        const QString head = QStringLiteral("entry %1: ").arg(entry);
        const QString last = QStringLiteral("  ") + QString::number(0x41 + entry, 16).toUpper();
        const qint64 end = start + store.lineLength(line);
        if (store.text(start, start + head.size()) != head || store.lineLength(line) != head.size() + 4 * (1 << 20)
            || store.text(end - 4, end) != last || store.text(end - 4 * 1000, end) != last.repeated(1000))
            break;
        ++entry;
    }
    std::printf("entries=%d notices=%d\nnotice=%s\nrecord=%s\n", entry, notices, qPrintable(notice),
                qPrintable(recordNotice.section(u'\n', 0, 1).replace(u'\n', u' ')));
    return 0;
}

} // namespace

void TstLogCommands::fullDiskIsToldAndNothingLost_data()
{
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("reason");
    // A recording fills the small disk first; on the larger one the log
    // stops where the last twentieth of it is left to other programs.
    QTest::newRow("full, with a recording") << QStringLiteral("4m") << QStringLiteral("No space left on device；");
    QTest::newRow("room left to others") << QStringLiteral("40m") << QStringLiteral("：磁盘的最后 2 MiB 留给其他程序；");
}

void TstLogCommands::fullDiskIsToldAndNothingLost()
{
    QFETCH(QString, disk);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QProcess child;
    qputenv("LOG_FULL_DISK_SIZE", disk.toLatin1());
    startChild(child, QStringLiteral("LOG_FULL_DISK_CHILD"), dir.path());
    qunsetenv("LOG_FULL_DISK_SIZE");
    QVERIFY(child.waitForFinished(60000));
    if (child.exitCode() == 7)
        QSKIP("mounting a small tmpfs needs the rights to (root, or a user namespace)");
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromUtf8(child.readAllStandardOutput());
    // Nothing received is lost; the move to memory is told once, in red,
    // with what the disk needed and had and how far memory will go.
    QVERIFY2(said.startsWith(QStringLiteral("entries=48 notices=1\n")), qPrintable(said));
    QVERIFY2(said.contains(reason), qPrintable(said));
    // An entry of its own: the time stamp, then the words.
    QVERIFY2(said.contains(QRegularExpression(QStringLiteral("\nnotice=\\S.*\\d  日志无法再存入磁盘（"))), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("需要 1 MiB，可用 ")), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("）：从上一项起，信息保存在内存中，最多 ")), qPrintable(said));
    // The recording on the full disk says it stopped, and where.
    if (disk == QLatin1String("4m"))
        QVERIFY2(said.contains(QStringLiteral("record=记录中断：") + dir.path() + QStringLiteral("/record.txt ")),
                 qPrintable(said));
}

void TstLogCommands::copyTooLargeForTheClipboardIsSaved()
{
    // 17 MiB of bytes list as 68 MiB of text: a copy that large goes to a
    // file the user picks, exactly as it would have been copied, and the
    // clipboard keeps what it had. Cancelled, nothing happens at all.
    LogPane log;
    LogCommands commands(&log);
    log.AppendLog(kBlack, QStringLiteral("head "));
    QByteArray bytes(17 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    log.appendListing(kBlue, bytes);
    log.AppendLog(kRed, QStringLiteral("\r\n中文 tail"));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("selection.txt"));
    QString asked;
    bool cancel = true;
    setSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
        asked = title;
        return cancel ? QString() : path;
    });
    log.setSelection(2, log.store().size() - 2);
    log.copy();
    QVERIFY2(asked.startsWith(QStringLiteral("所选内容有")) && asked.contains(QStringLiteral(" MiB，不放进剪贴板")),
             qPrintable(asked));
    QVERIFY(!QFile::exists(path));
    cancel = false;
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    // Written a slice at a time between events: not there yet, then whole.
    QVERIFY(!QFile::exists(path));
    QTRY_VERIFY(QFile::exists(path));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QByteArray want;
    log.store().writeUtf8(2, log.store().size() - 2, [&](const char *d, qint64 n) { want.append(d, n); });
    QVERIFY(want.size() > (64 << 20));
    QVERIFY(saved.readAll() == want);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    // The log cleared while it is being saved: said, and no file left.
    const QString second = dir.filePath(QStringLiteral("second.txt"));
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return second; });
    QString notice;
    setNoticeHook([&](const QString &text, const QString &) { notice = text; });
    log.copy();
    log.clearLog();
    QTRY_VERIFY(!notice.isEmpty());
    QCOMPARE(notice, QStringLiteral("保存失败：") + second + QStringLiteral("\n信息已被清除，未能保存"));
    QVERIFY(!QFile::exists(second));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary left either
    setNoticeHook(nullptr);
    setSavePathHook(nullptr);
    log.AppendLog(kBlack, QStringLiteral("head again"));

    // Up to the limit, the clipboard as ever.
    log.setSelection(0, 8);
    log.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("head aga"));
}

namespace {

// Answers the save dialog with `path` and its `type`-th file type.
void answerSaveWith(const QString &path, int type)
{
    setSavePathHook([path, type](const QString &, const QString &, const QString &types, QString *chosen) {
        *chosen = types.section(QStringLiteral(";;"), type, type);
        return path;
    });
}

} // namespace

void TstLogCommands::pageSavedInSlicesReadsAsTheLog()
{
    // A page of several slices: stripped of its markup it reads exactly as
    // the log, every run in its colour.
    LogPane log;
    LogCommands commands(&log);
    log.AppendLog(kRed, QStringLiteral("a<b & \"c\""));
    log.appendListing(kBlack, QByteArray(int(LogSave::kSlice / 3), '\x5A')); // some 1.3 slices of listing
    log.AppendLog(kBlue, QStringLiteral("\r\n中文 tail\r\n"));
    log.appendListing(kBlack, QByteArray(int(LogSave::kSlice / 3), '\x07'));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.html"));
    answerSaveWith(path, 1);
    commands.saveLog();
    setSavePathHook(nullptr);
    QVERIFY(!QFile::exists(path));
    QTRY_VERIFY(QFile::exists(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString page = QString::fromUtf8(file.readAll());
    QVERIFY2(page.startsWith(QStringLiteral("<!DOCTYPE html>")), qPrintable(page.left(200)));
    QVERIFY(page.contains(QStringLiteral("<span style=\"color:#ff0000\">a&lt;b &amp; &quot;c&quot;</span>")));
    QVERIFY(page.contains(QStringLiteral("<span style=\"color:#0000ff\">中文 tail</span>")));
    page = page.section(QStringLiteral("<pre style=\"white-space: pre-wrap\">"), 1).section(QStringLiteral("</pre>"), 0, 0);
    page.remove(QRegularExpression(QStringLiteral("<span style=\"color:#[0-9a-f]{6}\">|</span>")));
    page.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    page.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    QVERIFY(page == log.logText());

    // Quitting while a save is under way finishes it first.
    const QString text = dir.filePath(QStringLiteral("log.txt"));
    answerSaveWith(text, 0);
    commands.saveLog();
    setSavePathHook(nullptr);
    QVERIFY(!QFile::exists(text));
    setQuitHook([] {});
    quitProgram();
    setQuitHook(nullptr);
    QVERIFY(QFile::exists(text));
    QCOMPARE(QFileInfo(text).size(), log.store().utf8Size(0, log.store().size()));
}

void TstLogCommands::dumpViewFromTheMenuInCopyAndSave()
{
    LogPane log;
    LogCommands commands(&log);
    QByteArray bytes;
    for (int b = 0; b < 300; ++b)
        bytes += char(b * 13);
    log.AppendLog(kBlack, QStringLiteral("12:00:00  启动程序\r\n12:00:01  接收数据："));
    log.appendListing(kBlack, bytes);
    log.AppendLog(kBlue, QStringLiteral("\r\n末行"));
    const QString listed = log.logText();
    // In the menu after 查找…, off until ticked.
    QStringList actions = contextMenuActions(&log);
    QCOMPARE(actions.indexOf(QStringLiteral("+十六进制转储")), actions.indexOf(QStringLiteral("+查找…")) + 1);
    QVERIFY(!log.dumpView());
    triggerContextAction(&log, QStringLiteral("十六进制转储"));
    QVERIFY(log.dumpView());
    const QString shown = QStringLiteral("12:00:00  启动程序\n12:00:01  接收数据：\n") + referenceDump(bytes)
        + QStringLiteral("\n末行");
    log.selectAll();
    log.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), shown);
    QCOMPARE(log.logText(), listed);

    // Saved as shown: as text, and as a page that reads the same.
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("dump.txt"));
    answerSaveWith(text, 0);
    QTest::keyClick(&log, Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(QFile::exists(text));
    QFile file(text);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), shown);
    const QString page = dir.filePath(QStringLiteral("dump.html"));
    answerSaveWith(page, 1);
    commands.saveLog();
    setSavePathHook(nullptr);
    QTRY_VERIFY(QFile::exists(page));
    QFile html(page);
    QVERIFY(html.open(QIODevice::ReadOnly));
    QString read = QString::fromUtf8(html.readAll());
    read = read.section(QStringLiteral("<pre style=\"white-space: pre-wrap\">"), 1).section(QStringLiteral("</pre>"), 0, 0);
    read.remove(QRegularExpression(QStringLiteral("<span style=\"color:#[0-9a-f]{6}\">|</span>")));
    read.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    read.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    QCOMPARE(read, shown);

    // Unticked, the listing as it is listed.
    triggerContextAction(&log, QStringLiteral("十六进制转储"));
    QVERIFY(!log.dumpView());
    log.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), listed);

    // A dump is longer than its listing: 15 MiB list in 62 MB, which the
    // clipboard would take, but dump in 75 MB, which goes to a file.
    log.clearLog();
    QByteArray large(15 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 + (i >> 9));
    log.appendListing(kBlack, large);
    log.setDumpView(true);
    const QString selection = dir.filePath(QStringLiteral("selection.txt"));
    QString asked;
    setSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
        asked = title;
        return selection;
    });
    log.selectAll();
    log.copy();
    setSavePathHook(nullptr);
    QVERIFY2(asked.contains(QStringLiteral("71 MiB")), qPrintable(asked));
    QTRY_VERIFY(QFile::exists(selection));
    QFile saved(selection);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray all = saved.readAll();
    QCOMPARE(all.size(), qsizetype(large.size() / 16) * 76 - 1);
    QCOMPARE(QString::fromLatin1(all.left(76 * 4 - 1)), referenceDump(large.left(64)));
    QCOMPARE(QString::fromLatin1(all.right(75)),
             QStringLiteral("00effff0") + referenceDump(large.right(16)).mid(8)); // its offset, its bytes
}

int main(int argc, char *argv[])
{
    // Before any thread: a mount namespace is taken by a single-threaded
    // process only.
    const QString fullDisk = qEnvironmentVariable("LOG_FULL_DISK_CHILD");
    if (!fullDisk.isEmpty()) {
        const QByteArray folder = QFile::encodeName(fullDisk);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", folder.constData(), "tmpfs", 0, ("size=" + qgetenv("LOG_FULL_DISK_SIZE")).constData()) != 0)
            return 7;
        qputenv("XDG_CACHE_HOME", folder);
        QApplication app(argc, argv);
        return fullDiskChild(fullDisk, qgetenv("LOG_FULL_DISK_SIZE") == "4m");
    }
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable("LOG_RECORD_CHILD");
    if (!child.isEmpty())
        return recordChild(child);
    if (qEnvironmentVariableIsSet("LOG_NO_MEMORY_CHILD"))
        return noMemoryChild();
    const QString limited = qEnvironmentVariable("LOG_RECORD_LIMIT_CHILD");
    if (!limited.isEmpty())
        return recordUnderLimitChild(limited);
    TstLogCommands test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logcommands.moc"
