// SPDX-License-Identifier: MIT
#include "guard.h"
#include "lamp.h"
#include "logfind.h"
#include "logpane.h"
#include "logreader.h"
#include "logrecorder.h"
#include "logsave.h"
#include "messagebox.h"
#include "startup.h"

#include <QAccessible>
#include <QAccessibleEvent>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <cstdio>

using namespace logreader;

namespace {

// The context menu's actions as "+text" (enabled) or "-text".
QStringList contextMenuActions(LogPane *log)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), log->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(log->viewport(), &event);
    QStringList out;
    QMenu *menu = log->findChild<QMenu *>();
    if (!menu)
        return out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            out << (a->isEnabled() ? u'+' : u'-') + a->text();
    menu->close();
    delete menu;
    return out;
}

void triggerContextAction(LogPane *log, const QString &text)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), log->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(log->viewport(), &event);
    QMenu *menu = log->findChild<QMenu *>();
    QVERIFY(menu);
    for (QAction *a : menu->actions())
        if (a->text() == text)
            a->trigger();
    menu->close();
    delete menu;
}

// Just inside the left edge of the character at `position`: a click there
// puts the caret before it.
QPoint before(const LogPane &log, qint64 position)
{
    const QRect r = log.characterRect(position);
    return QPoint(r.left() + 1, r.center().y());
}

void drag(LogPane &log, QPoint from, QPoint to)
{
    QTest::mousePress(log.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, log.viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(log.viewport(), &move);
    QTest::mouseRelease(log.viewport(), Qt::LeftButton, {}, to);
}

} // namespace

// The message log as a user reads it: shapes, colours, where text lands.
class TstLogPane : public QObject
{
    Q_OBJECT
private slots:
    void shapesAndColours();
    void clearedLogStartsWithEmptyLine();
    void textIsNeverMarkup();
    void controlCharactersHideNothing();
    void userCaretAndSelectionStayPut();
    void followsTheEndUnlessScrolledUp();
    void readOnlyButCopyable();
    void colourValuesAreBgr();
    void longLinesReadWhole();
    void copyJoinsWhatTheLineHolds();
    void longLinesWrapAtThePaneWidth();
    void mouseSelects();
    void keyboardSelects();
    void followsWhileSelecting();
    void tabMovesOn();
    void screenReaderReadsIt();
    void findsForwardBackwardAndAround();
    void findInALargeLogLeavesTheWindowLive();
    void theFindFieldHidesNoLine();
    void foldedMatchingAgreesWithQt();
    void readableUnderADarkPalette();
    void qtWordsInTheUsersLanguage();
    void recordingReadsAsTheLog();
    void recordingSurvivesAKilledProcess();
    void recordingThatCannotStartSaysSo();
};

void TstLogPane::shapesAndColours()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("T0  启动程序"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT1 打开端口：COM1……"));
    log.AppendLog(kBlue, QStringLiteral("成功"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT2 关闭端口\r\n"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT3 打开端口：COM2……"));
    log.AppendLog(kRed, QStringLiteral("失败"));
    log.AppendLog(kBlack, QString()); // appends nothing
    log.AppendLog(kBlack, QStringLiteral("\r\nT4  接收文本：  a\r\nb\nc"));

    QCOMPARE(logText(&log), QStringLiteral("T0  启动程序\nT1 打开端口：COM1……成功\nT2 关闭端口\n\nT3 打开端口：COM2……失败\n"
                                          "T4  接收文本：  a\nb\nc"));
    QCOMPARE(colourOf(&log, QStringLiteral("T0  启动程序")), kBlack);
    QCOMPARE(colourOf(&log, QStringLiteral("T1 打开端口：COM1……")), kBlack);
    QCOMPARE(colourOf(&log, QStringLiteral("成功")), kBlue);
    QCOMPARE(colourOf(&log, QStringLiteral("失败")), kRed);
    QCOMPARE(colourOf(&log, QStringLiteral("T4")), kBlack);
    // A piece of another colour does not colour what follows it.
    QCOMPARE(colourOf(&log, QStringLiteral("T2")), kBlack);
}

void TstLogPane::clearedLogStartsWithEmptyLine()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("start"));
    log.clearLog();
    QCOMPARE(logText(&log), QString());
    log.AppendLog(kRed, QStringLiteral("\r\nT  帧错误"));
    QCOMPARE(logText(&log), QStringLiteral("\nT  帧错误"));
    QCOMPARE(colourOf(&log, QStringLiteral("T  帧错误")), kRed);
}

void TstLogPane::textIsNeverMarkup()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("<b>x</b> &amp; <img src=\"y\">"));
    QCOMPARE(logText(&log), QStringLiteral("<b>x</b> &amp; <img src=\"y\">"));
    QCOMPARE(log.store().lineCount(), 1);
}

void TstLogPane::controlCharactersHideNothing()
{
    LogPane log;
    QString text = QStringLiteral("a");
    text += QChar(0);
    text += QStringLiteral("b");
    text += QChar(0xFDD0);
    text += QStringLiteral("c");
    text += QChar(0xFFFC);
    text += QStringLiteral("d");
    log.AppendLog(kBlack, text);
    const QString shown = logText(&log);
    QCOMPARE(shown.size(), text.size());
    QCOMPARE(shown.at(1), QChar(0x2400));
    QVERIFY(shown.startsWith(u'a'));
    QVERIFY(shown.endsWith(u'd'));
    QCOMPARE(shown.at(3), QChar(0xFFFD));
    QCOMPARE(shown.at(5), QChar(0xFFFD));
    QCOMPARE(log.store().lineCount(), 1);
    // A lone half of a surrogate pair cannot join what follows either.
    log.AppendLog(kBlack, QString(QChar(0xD83D)) + u'e');
    QVERIFY(logText(&log).endsWith(QString(QChar(0xFFFD)) + u'e'));
}

void TstLogPane::userCaretAndSelectionStayPut()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("first line\r\nsecond line"));
    log.setSelection(2, 8);

    log.AppendLog(kRed, QStringLiteral("\r\nthird"));
    log.AppendLog(kBlue, QStringLiteral("成功"));

    QCOMPARE(logText(&log), QStringLiteral("first line\nsecond line\nthird成功"));
    QCOMPARE(log.selectedText(), QStringLiteral("rst li"));
    QCOMPARE(colourOf(&log, QStringLiteral("third")), kRed);
    QCOMPARE(colourOf(&log, QStringLiteral("成功")), kBlue);

    // A caret at the very start does not pull text there either.
    log.setSelection(0, 0);
    log.AppendLog(kBlack, QStringLiteral("X"));
    QVERIFY(logText(&log).endsWith(QStringLiteral("成功X")));
}

void TstLogPane::followsTheEndUnlessScrolledUp()
{
    LogPane log;
    log.resize(400, 150);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    for (int i = 0; i < 200; ++i)
        log.AppendLog(kBlack, QStringLiteral("\r\nline %1").arg(i));
    QScrollBar *bar = log.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    log.AppendLog(kBlack, QStringLiteral("\r\nmore"));
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(10); // the user scrolls up to read
    for (int i = 0; i < 20; ++i)
        log.AppendLog(kBlack, QStringLiteral("\r\nwhile reading %1").arg(i));
    QCOMPARE(bar->value(), 10);

    bar->setValue(bar->maximum()); // back at the end: following again
    log.AppendLog(kBlack, QStringLiteral("\r\nagain"));
    QCOMPARE(bar->value(), bar->maximum());
}

void TstLogPane::readOnlyButCopyable()
{
    LogPane log;
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("T  启动程序"));
    log.setFocus();
    QTest::keyClicks(&log, QStringLiteral("typed"));
    QCOMPARE(logText(&log), QStringLiteral("T  启动程序"));

    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(log.selectedText(), QStringLiteral("T  启动程序"));
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("T  启动程序"));

    // The context menu has the same two actions, and they work.
    QApplication::clipboard()->clear();
    log.setSelection(3, 3);
    const QStringList before = contextMenuActions(&log);
    QVERIFY2(before.contains(QStringLiteral("-&Copy")), qPrintable(before.join(u',')));
    QVERIFY(before.contains(QStringLiteral("+Select All")));
    triggerContextAction(&log, QStringLiteral("Select All"));
    QCOMPARE(log.selectedText(), QStringLiteral("T  启动程序"));
    QVERIFY(contextMenuActions(&log).contains(QStringLiteral("+&Copy")));
    triggerContextAction(&log, QStringLiteral("&Copy"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("T  启动程序"));
}

void TstLogPane::colourValuesAreBgr()
{
    QCOMPARE(ColourFromBgr(kRed), QColor(255, 0, 0));
    QCOMPARE(ColourFromBgr(kBlue), QColor(0, 0, 255));
    QCOMPARE(ColourFromBgr(0x00C08040), QColor(0x40, 0x80, 0xC0));
}

void TstLogPane::longLinesReadWhole()
{
    LogPane log;
    QByteArray bytes;
    for (int i = 0; i < 50000; ++i)
        bytes.append(char(i * 7));
    QString listing;
    for (const char c : bytes)
        listing += QStringLiteral("  ") + QString::number(quint8(c), 16).toUpper();
    log.AppendLog(kBlack, QStringLiteral("T  启动程序"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT  接收数据："));
    log.AppendLog(kBlack, listing);
    // Text with its own breaks, one line of it far longer than a block,
    // and a character outside the basic plane at every possible cut.
    QString text = QStringLiteral("a\r\n") + QString(10000, u'x') + QStringLiteral("\nb\rc");
    for (int i = 0; i < 3000; ++i)
        text += QString::fromUtf8("\xF0\x9F\x98\x80");
    log.AppendLog(kRed, QStringLiteral("\r\n") + text);
    log.AppendLog(kBlue, QStringLiteral("成功"));

    const QString expected = QStringLiteral("T  启动程序\nT  接收数据：") + listing + u'\n'
        + QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n') + QStringLiteral("成功");
    QCOMPARE(log.logText(), expected);
    QCOMPARE(colourOf(&log, QString(100, u'x')), kRed);
    QCOMPARE(colourOf(&log, QStringLiteral("成功")), kBlue);
}

void TstLogPane::copyJoinsWhatTheLineHolds()
{
    LogPane log;
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QString longLine = QString(3 * 4096, u'z');
    log.AppendLog(kBlack, QStringLiteral("first\r\n") + longLine + QStringLiteral("\r\nlast"));
    log.setFocus();
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first\n") + longLine + QStringLiteral("\nlast"));

    // A selection that starts inside the long line and ends inside the next.
    log.setSelection(6 + 10, log.store().size() - 2);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), longLine.mid(10) + QStringLiteral("\nla"));

    // Received bytes EF BB BF are a character like any other: a copy that
    // starts with it keeps it.
    log.clearLog();
    log.AppendLog(kBlack, QString(QChar(0xFEFF)) + QStringLiteral("x"));
    log.selectAll();
    log.copy();
    QCOMPARE(QApplication::clipboard()->text(), QString(QChar(0xFEFF)) + QStringLiteral("x"));
}

void TstLogPane::longLinesWrapAtThePaneWidth()
{
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const qint64 columns = log.columns();
    QVERIFY2(columns > 20, qPrintable(QString::number(columns)));

    log.AppendLog(kBlack, QString(int(columns * 3 + 1), u'x'));
    QCOMPARE(log.rowCount(), 4);
    // Wide characters take two cells: a row holds half as many.
    log.AppendLog(kBlack, QStringLiteral("\r\n") + QString(int(columns), QChar(0x4E2D)));
    const qint64 perRow = columns / 2;
    QCOMPARE(log.rowCount(), 4 + (columns + perRow - 1) / perRow);
    // Words stay whole where a space allows.
    log.clearLog();
    const qint64 length = (columns - 2) / 3; // three words and their spaces fit a row
    const QString word = QString(int(length), u'w');
    log.AppendLog(kBlack, word + u' ' + word + u' ' + word + u' ' + word);
    QCOMPARE(log.rowCount(), 2);
    QCOMPARE(log.rowOf(3 * length + 2 - 1), 0); // the end of the third word
    QCOMPARE(log.rowOf(3 * length + 3), 1);     // the start of the fourth
    // A listing of ordinary length wraps between its bytes.
    log.AppendLog(kBlack, QStringLiteral("\r\n"));
    log.AppendListing(kBlack, QByteArray(int(columns), '\x41')); // "  41" each: 4 cells
    const qint64 listingStart = log.store().lineStart(1);
    for (qint64 row = log.rowOf(listingStart) + 1; row < log.rowCount(); ++row) {
        const qint64 first = log.positionAt(QPoint(4 + 1, log.characterRect(listingStart).top()
                                                             + int(row - log.rowOf(listingStart)) * log.characterRect(0).height()
                                                             + 2));
        QCOMPARE(log.textBetween(first, first + 2), QStringLiteral("41"));
    }
    // Every row is drawn inside the pane, however it was cut.
    log.AppendLog(kBlack, QStringLiteral("\r\n") + QString(int(columns) - 1, u'x') + QStringLiteral("中中 中"));
    for (qint64 p = 0; p < log.store().size(); ++p)
        if (log.textBetween(p, p + 1) != QStringLiteral(" ")) // (a space may hang past the end)
            QVERIFY2(log.characterRect(p).right() <= log.viewport()->width(), qPrintable(QString::number(p)));

    // A line far longer than a screen is cut every so many cells.
    log.clearLog();
    log.AppendListing(kBlack, QByteArray(100000, '\x41'));
    QCOMPARE(log.rowCount(), (400000 - 1) / columns + 1);
    for (qint64 p = log.store().size() - 1000; p < log.store().size(); ++p)
        QVERIFY2(log.characterRect(p).right() <= log.viewport()->width(), qPrintable(QString::number(p)));

    // A narrower pane cuts the same text into more rows and reads the same.
    const QString text = log.logText();
    log.resize(300, 254);
    QVERIFY(log.columns() < columns);
    QVERIFY(log.rowCount() > 10);
    QCOMPARE(log.logText(), text);
    QCOMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum()); // still following
}

void TstLogPane::mouseSelects()
{
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("alpha beta gamma\r\nsecond 中文 line"));

    drag(log, before(log, 0), before(log, 10));
    QCOMPARE(log.selectedText(), QStringLiteral("alpha beta"));
    // Across the line break, into the wide characters.
    drag(log, before(log, 6), before(log, 26));
    QCOMPARE(log.selectedText(), QStringLiteral("beta gamma\nsecond 中文"));

    QTest::mouseDClick(log.viewport(), Qt::LeftButton, {}, before(log, 7));
    QCOMPARE(log.selectedText(), QStringLiteral("beta"));

    QTest::mouseClick(log.viewport(), Qt::LeftButton, {}, before(log, 0));
    QCOMPARE(log.selectedText(), QString());
    QTest::mouseClick(log.viewport(), Qt::LeftButton, Qt::ShiftModifier, before(log, 16));
    QCOMPARE(log.selectedText(), QStringLiteral("alpha beta gamma"));

    // Below the last row: to the end.
    QTest::mouseClick(log.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, log.viewport()->height() - 2));
    QCOMPARE(log.selectionEnd(), log.store().size());
}

void TstLogPane::keyboardSelects()
{
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("abc\r\ndefgh\r\nij"));
    log.setFocus();
    log.setSelection(0, 0);

    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(log.selectedText(), QStringLiteral("ab"));
    QTest::keyClick(&log, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(log.selectedText(), QStringLiteral("abc"));
    QTest::keyClick(&log, Qt::Key_Down, Qt::ShiftModifier); // same column, next line
    QCOMPARE(log.selectedText(), QStringLiteral("abc\ndef"));
    QTest::keyClick(&log, Qt::Key_Down, Qt::ShiftModifier); // a shorter line: its end
    QCOMPARE(log.selectedText(), QStringLiteral("abc\ndefgh\nij"));
    QTest::keyClick(&log, Qt::Key_Left); // moves, and the selection goes
    QCOMPARE(log.selectedText(), QString());
    QCOMPARE(log.caretPosition(), log.store().size() - 1);
    QTest::keyClick(&log, Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(log.selectedText(), QStringLiteral("abc\ndefgh\ni"));
    QTest::keyClick(&log, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(log.selectedText(), QStringLiteral("defgh\ni"));
}

void TstLogPane::followsWhileSelecting()
{
    LogPane log;
    log.resize(400, 150);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    for (int i = 0; i < 100; ++i)
        log.AppendLog(kBlack, QStringLiteral("\r\nline %1").arg(i));
    QScrollBar *bar = log.verticalScrollBar();
    // A selection at the end does not stop the log following it.
    drag(log, before(log, log.store().size() - 6), before(log, log.store().size() - 1));
    QCOMPARE(log.selectedText(), QStringLiteral("ine 9"));
    log.AppendLog(kBlack, QStringLiteral("\r\nnew"));
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(log.selectedText(), QStringLiteral("ine 9"));

    // Clearing leaves nothing to select and nothing to scroll.
    log.clearLog();
    QCOMPARE(log.selectedText(), QString());
    QCOMPARE(log.rowCount(), 1);
    QCOMPARE(bar->maximum(), 0);
    log.AppendLog(kBlack, QStringLiteral("after"));
    QCOMPARE(log.logText(), QStringLiteral("after"));
}

void TstLogPane::tabMovesOn()
{
    QWidget window;
    auto *first = new QPushButton(QStringLiteral("a"), &window);
    auto *log = new LogPane(&window);
    auto *last = new QPushButton(QStringLiteral("b"), &window);
    log->move(0, 40);
    last->move(0, 300);
    QWidget::setTabOrder(first, log);
    QWidget::setTabOrder(log, last);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    log->AppendLog(kBlack, QStringLiteral("text"));
    log->setFocus();
    QTest::keyClick(log, Qt::Key_Tab);
    QCOMPARE(window.focusWidget(), last);
    QTest::keyClick(last, Qt::Key_Backtab);
    QCOMPARE(window.focusWidget(), log);
    QCOMPARE(log->logText(), QStringLiteral("text")); // no tab went into it
}

void TstLogPane::screenReaderReadsIt()
{
    LogPane log;
    log.setAccessibleName(QStringLiteral("信息"));
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));

    log.AppendLog(kBlack, QStringLiteral("T  启动程序"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT  通讯错误："));
    log.AppendLog(kRed, QStringLiteral("reset"));

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&log);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("信息"));
    QVERIFY(iface->state().readOnly);
    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), int(log.store().size()));
    QCOMPARE(text->text(0, 7), QStringLiteral("T  启动程序"));
    int start = 0, end = 0;
    QCOMPARE(text->textAtOffset(12, QAccessible::LineBoundary, &start, &end), QStringLiteral("T  通讯错误：reset"));
    QCOMPARE(start, 8);
    QCOMPARE(text->textAtOffset(18, QAccessible::WordBoundary, &start, &end), QStringLiteral("reset"));
    QCOMPARE(start, 16);
    QCOMPARE(text->textBeforeOffset(8, QAccessible::LineBoundary, &start, &end), QStringLiteral("T  启动程序\n"));
    QVERIFY(text->attributes(int(log.logText().indexOf(QStringLiteral("reset"))), &start, &end)
                .contains(QStringLiteral("rgb(255,0,0)")));
    QCOMPARE(text->text(start, end), QStringLiteral("reset"));

    log.setSelection(3, 7);
    int s = 0, e = 0;
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &s, &e);
    QCOMPARE(s, 3);
    QCOMPARE(e, 7);
    QCOMPARE(text->cursorPosition(), 7);
    text->setSelection(0, 0, 2);
    QCOMPARE(log.selectedText(), QStringLiteral("T "));
    // The point of a character finds it again.
    QCOMPARE(text->offsetAtPoint(text->characterRect(4).topLeft() + QPoint(1, 2)), 4);

}

void TstLogPane::findsForwardBackwardAndAround()
{
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("alpha beta\r\nAlpha 中文 gamma"));
    log.AppendListing(kBlack, QByteArray("\xAB\xCD", 2));
    log.AppendLog(kRed, QStringLiteral(" ALPHA end"));
    const QString text = log.logText();
    LogFindBar *bar = log.findBar();
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

void TstLogPane::theFindFieldHidesNoLine()
{
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    for (int i = 0; i < 60; ++i)
        log.AppendLog(kBlack, QStringLiteral("line %1\r\n").arg(i));
    log.AppendLog(kBlack, QStringLiteral("needle at the end"));
    const qint64 last = log.logText().size() - 1;
    LogFindBar *bar = log.findBar();
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

void TstLogPane::foldedMatchingAgreesWithQt()
{
    // Texts and needles drawn from characters whose folding is unusual:
    // ASCII in both cases, the Kelvin sign and long s (which fold to ASCII),
    // sharp s, the Greek sigmas, dotted and dotless i, full-width letters,
    // CJK, and pairs (a Deseret capital that folds to its small letter,
    // an emoji), and a lone surrogate half.
    const QString alphabet = QStringLiteral("aAbBkKsS  0D\u212A\u017F\u00DF\u1E9E\u03A3\u03C3\u03C2"
                                            "\u0130\u0131iI\uFF21\uFF41中文")
                             + QString::fromUcs4(U"\U00010400\U00010428\U0001F600") + QChar(0xD800);
    QRandomGenerator random(20261208);
    const auto draw = [&](int length) {
        QString out;
        while (out.size() < length) {
            const qsizetype i = random.bounded(alphabet.size());
            // Keep pairs whole, except for the lone half at the end.
            if (alphabet.at(i).isLowSurrogate())
                out.append(alphabet.mid(i - 1, 2));
            else if (alphabet.at(i).isHighSurrogate() && i + 1 < alphabet.size())
                out.append(alphabet.mid(i, 2));
            else
                out.append(alphabet.at(i));
        }
        return out;
    };
    for (int round = 0; round < 4000; ++round) {
        const QString text = draw(random.bounded(1, 60));
        // Often a piece of the text in another case, so that it matches.
        QString needle = random.bounded(2) ? draw(random.bounded(1, 5)) : text.mid(random.bounded(text.size()), random.bounded(1, 5));
        if (random.bounded(2))
            needle = random.bounded(2) ? needle.toUpper() : needle.toLower();
        if (needle.isEmpty())
            continue;
        const FoldedMatcher matcher(needle);
        const qsizetype from = random.bounded(text.size() + 1);
        QCOMPARE(matcher.indexIn(text, from), text.indexOf(needle, from, Qt::CaseInsensitive));
        QCOMPARE(matcher.lastIndexIn(text, from), text.lastIndexOf(needle, from, Qt::CaseInsensitive));
    }
}

void TstLogPane::findInALargeLogLeavesTheWindowLive()
{
    // Six slices of text and listing before the match: the search runs
    // between events, and a timer fires while it does.
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QString block(int(LogSearch::kSlice / 2), u'x');
    for (int i = 0; i < 6; ++i) {
        log.AppendLog(kBlack, block);
        log.AppendListing(kBlack, QByteArray(int(LogSearch::kSlice / 8), '\x11'));
    }
    log.AppendLog(kBlack, QStringLiteral("\r\nthe needle"));
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    log.findBar()->open();
    log.findBar()->field()->setText(QStringLiteral("NEEDLE"));
    log.setSelection(0, 0);
    log.findBar()->findNext();
    QVERIFY(log.findBar()->searching());
    QTRY_VERIFY_WITH_TIMEOUT(!log.findBar()->searching(), 20000);
    QCOMPARE(log.selectedText(), QStringLiteral("needle"));
    QVERIFY2(ticks >= 6, qPrintable(QString::number(ticks)));
    // Backward from the end finds the same.
    log.setSelection(log.store().size(), log.store().size());
    log.findBar()->findPrevious();
    QTRY_VERIFY_WITH_TIMEOUT(!log.findBar()->searching(), 20000);
    QCOMPARE(log.selectedText(), QStringLiteral("needle"));
}

void TstLogPane::readableUnderADarkPalette()
{
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    LogPane existing; // made and shown before the theme changes
    existing.show();
    QVERIFY(QTest::qWaitForWindowExposed(&existing));
    QApplication::setPalette(dark);
    LogPane made; // and after
    made.show();
    QVERIFY(QTest::qWaitForWindowExposed(&made));
    QCoreApplication::processEvents();
    for (LogPane *log : {&existing, &made}) {
        log->resize(300, 120);
        log->AppendLog(kBlack, QStringLiteral("black on white"));
        const QImage shot = log->viewport()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(shot.width() - 3, shot.height() - 3)), QColor(Qt::white));
        QCOMPARE(log->viewport()->palette().color(QPalette::Text), QColor(Qt::black));
        // The rest of the window follows the desktop.
        QCOMPARE(log->findBar()->palette().color(QPalette::Window), QColor(0x30, 0x30, 0x30));
    }
    QApplication::setPalette(before);
}

void TstLogPane::qtWordsInTheUsersLanguage()
{
    // (The tests run in the C locale: Qt's words are English elsewhere.)
    QTranslator *german = LoadQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::German));
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

void TstLogPane::recordingReadsAsTheLog()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("before the recording"));
    SetSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
        return title == QStringLiteral("记录到文件") ? path : QString();
    });
    log.setRecording(true);
    SetSavePathHook(nullptr);
    QVERIFY(log.recorder()->recording());
    const qint64 from = log.store().size();
    log.AppendLog(kBlack, QStringLiteral("\r\nT  接收文本：  中文 and \0 text\r"));
    log.AppendLog(kBlue, QStringLiteral("成功"));
    log.AppendLog(kBlack, QStringLiteral("\r\nT  接收数据："));
    log.AppendListing(kBlack, QByteArray("\x00\x7F\xFF", 3));
    // Quitting writes out what is pending, before the program ends.
    int quits = 0;
    SetQuitHook([&] { ++quits; });
    QuitProgram();
    SetQuitHook(nullptr);
    QCOMPARE(quits, 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray atQuit = file.readAll();
    QCOMPARE(QString::fromUtf8(atQuit), log.textBetween(from, log.store().size()));

    // Unchecked in the menu: the file is closed; later text stays out.
    QStringList actions = contextMenuActions(&log);
    QVERIFY2(actions.contains(QStringLiteral("+记录到文件…")), qPrintable(actions.join(u',')));
    triggerContextAction(&log, QStringLiteral("记录到文件…"));
    QVERIFY(!log.recorder()->recording());
    log.AppendLog(kRed, QStringLiteral("\r\nafter"));
    file.seek(0);
    QCOMPARE(file.readAll(), atQuit);
}

void TstLogPane::recordingSurvivesAKilledProcess()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.txt"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LOG_RECORD_CHILD"), path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
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

void TstLogPane::recordingThatCannotStartSaysSo()
{
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QStringList notices;
    SetNoticeHook([&](const QString &text, const QString &) { notices << text; });
    SetSavePathHook([&](const QString &, const QString &, const QString &, QString *) {
        return dir.filePath(QStringLiteral("plain/record.txt"));
    });
    LogPane log;
    log.setRecording(true);
    SetSavePathHook(nullptr);
    SetNoticeHook(nullptr);
    QVERIFY(!log.recorder()->recording());
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().startsWith(QStringLiteral("无法记录：")));
}

namespace {

// The child of recordingSurvivesAKilledProcess: records, says "ready" once
// its first lines are on the disk, then writes on until it is killed.
int recordChild(const QString &path)
{
    LogPane log;
    QString error;
    if (!log.recorder()->start(path, &error))
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString child = qEnvironmentVariable("LOG_RECORD_CHILD");
    if (!child.isEmpty())
        return recordChild(child);
    TstLogPane test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logpane.moc"
