// SPDX-License-Identifier: MIT
#include "logcolours.h"
#include "logfindbar.h"
#include "logmenu.h"
#include "logpane.h"
#include "logreader.h"
#include "xxd.h"

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

using namespace logmenu;
using namespace logreader;

namespace {

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
    void aSecondViewFollowsTheSameLog();
    void aSecondViewSelectsAndCopiesOnItsOwn();
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
    void everyCharacterDrawnInArrivalOrder();
    void readableUnderADarkPalette();
    void dumpViewShowsListingsAsRows();
    void dumpRowsAreSelectedWhole();
    void caretKeysCrossDumpRows();
    void caretKeysCrossWrappedRows();
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
    QCOMPARE(QColor::fromRgb(rgbFromBgr(kRed)), QColor(255, 0, 0));
    QCOMPARE(QColor::fromRgb(rgbFromBgr(kBlue)), QColor(0, 0, 255));
    QCOMPARE(QColor::fromRgb(rgbFromBgr(0x00C08040)), QColor(0x40, 0x80, 0xC0));
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
    log.appendListing(kBlack, QByteArray(int(columns), '\x41')); // "  41" each: 4 cells
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
    log.appendListing(kBlack, QByteArray(100000, '\x41'));
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

void TstLogPane::everyCharacterDrawnInArrivalOrder()
{
    // Each line drawn on one row, every character further right than the
    // one that came before it: nothing ends a row early or reverses it.
    LogPane log;
    log.resize(577, 254);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QStringList lines = {
        QStringLiteral("AAA\u2028BBB"),
        QStringLiteral("pay \u202Egnp.exe"),
        QStringLiteral("\u2067RLI \u202Bembedded\u202C \u2069\u200Fmark\u200E \u061Cend"),
    };
    log.AppendLog(kBlack, lines.join(QStringLiteral("\r\n")));
    QCOMPARE(logText(&log), lines.join(u'\n')); // copied as it came
    qint64 position = 0;
    for (const QString &line : lines) {
        const QRect first = log.characterRect(position);
        QVERIFY2(first.left() < 10, qPrintable(line));
        for (qint64 p = position + 1; p < position + line.size(); ++p) {
            const QRect r = log.characterRect(p);
            QCOMPARE(r.top(), first.top());
            QVERIFY2(r.left() > log.characterRect(p - 1).left(), qPrintable(QStringLiteral("%1 at %2").arg(line).arg(p - position)));
        }
        position += line.size() + 1;
    }
    // A row that starts right to left still starts at the left edge, and
    // what follows its right-to-left run stands after it.
    log.clearLog();
    log.AppendLog(kBlack, QStringLiteral("\u05D0\u05D1\u05D2 then latin"));
    const int hebrew = std::max({log.characterRect(0).left(), log.characterRect(1).left(), log.characterRect(2).left()});
    QVERIFY(log.characterRect(4).left() > hebrew);
    QVERIFY2(log.characterRect(4).left() < 10 * log.characterRect(5).width(), qPrintable(QString::number(log.characterRect(4).left())));
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
        const LogFindBar findBar(log);
        log->resize(300, 120);
        log->AppendLog(kBlack, QStringLiteral("black on white"));
        const QImage shot = log->viewport()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(shot.width() - 3, shot.height() - 3)), QColor(Qt::white));
        QCOMPARE(log->viewport()->palette().color(QPalette::Text), QColor(Qt::black));
        // The rest of the window follows the desktop.
        QCOMPARE(findBar.palette().color(QPalette::Window), QColor(0x30, 0x30, 0x30));
    }
    QApplication::setPalette(before);
}

// A view of the same store in another window: live, at its own width,
// following the end, emptied with the log; nothing is copied and nothing is
// written through it.
void TstLogPane::aSecondViewFollowsTheSameLog()
{
    LogPane log;
    log.resize(300, 120);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    log.AppendLog(kBlack, QStringLiteral("before the view"));
    LogPane view(&log);
    view.resize(900, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(&view.store(), &log.store());
    QCOMPARE(view.rowCount(), 1);
    for (int i = 0; i < 200; ++i)
        log.AppendLog(i % 2 ? kRed : kBlack, QStringLiteral("\r\nline %1 ").arg(i) + QString(60, u'x'));
    QCOMPARE(view.textBetween(0, view.store().size()), log.logText());
    // 900 pixels hold a line whole that 300 wrap.
    QCOMPARE(view.rowCount(), 201);
    QVERIFY(log.rowCount() > view.rowCount());
    // It follows the end.
    QTRY_COMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    QVERIFY(view.rowOf(view.store().size()) >= view.topRow());

    view.AppendLog(kBlack, QStringLiteral("through the view"));
    QVERIFY(!log.logText().contains(QStringLiteral("through the view")));

    log.clearLog();
    QCOMPARE(view.rowCount(), 1);
    QCOMPARE(view.selectionStart(), 0);
    log.AppendLog(kBlue, QStringLiteral("after the clear"));
    QCOMPARE(view.textBetween(0, view.store().size()), QStringLiteral("after the clear"));
    // Emptied from the view, the log is emptied.
    view.clearLog();
    QCOMPARE(log.store().size(), 0);
}

void TstLogPane::aSecondViewSelectsAndCopiesOnItsOwn()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("alpha beta gamma"));
    LogPane view(&log);
    view.setSelection(6, 10);
    QCOMPARE(view.selectedText(), QStringLiteral("beta"));
    QCOMPARE(log.selectionStart(), log.selectionEnd()); // the pane's is its own
    view.copy();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("beta"));
    // Text coming in leaves a selection where it is.
    log.AppendLog(kBlack, QStringLiteral("\r\ndelta"));
    QCOMPARE(view.selectedText(), QStringLiteral("beta"));
}

namespace {

// A pane, shown, with a log as the tools write received bytes, 40 of them,
// between two lines.
struct DumpedLog
{
    LogPane log;
    QByteArray bytes;
    qint64 listing = 0; // where the listing starts
    DumpedLog()
    {
        log.resize(700, 300);
        log.show();
        for (int b = 0; b < 40; ++b)
            bytes += char(0x30 + b);
        log.AppendLog(kBlack, QStringLiteral("12:00:00  启动程序"));
        log.AppendLog(kBlack, QStringLiteral("\r\n12:00:01  接收数据："));
        listing = log.store().size();
        log.appendListing(kBlack, bytes);
        log.AppendLog(kBlack, QStringLiteral("\r\n12:00:02  末行"));
    }
    bool exposed() { return QTest::qWaitForWindowExposed(&log); }
    qint64 token(qint64 byte) const { return log.store().listingToken(listing, byte); }
};

} // namespace

void TstLogPane::dumpViewShowsListingsAsRows()
{
    DumpedLog dumped;
    QVERIFY(dumped.exposed());
    LogPane &log = dumped.log;
    const QString text = log.logText();
    log.setDumpView(true);
    // Three rows of sixteen bytes on rows of their own, after the header's;
    // the store as it was.
    QCOMPARE(log.rowCount(), 1 + 1 + 3 + 1);
    QCOMPARE(log.logText(), text);
    const QStringList reference = referenceDump(dumped.bytes).split(u'\n');
    QCOMPARE(reference.size(), 3);
    log.selectAll();
    QCOMPARE(log.selectedText(), QStringLiteral("12:00:00  启动程序\n12:00:01  接收数据：\n") + reference.join(u'\n')
                                     + QStringLiteral("\n12:00:02  末行"));
    log.copy();
    QCOMPARE(QApplication::clipboard()->text(), log.selectedText());
    // The row a byte is in, and where it is drawn: its digits.
    QCOMPARE(log.rowOf(dumped.token(17)), log.rowOf(dumped.listing) + 1);
    const QRect digits = log.characterRect(dumped.token(17));
    QCOMPARE(log.positionAt(QPoint(digits.left() + 1, digits.center().y())), dumped.token(17));
    // Drawn without a fault; the large view starts as its source shows.
    (void)log.viewport()->grab();
    LogPane view(&log);
    QVERIFY(view.dumpView());
    // Text coming in while shown lays out as a dump at once.
    log.AppendLog(kBlack, QStringLiteral("\r\n  接收数据："));
    log.appendListing(kBlack, QByteArray(20, 'z'));
    QCOMPARE(log.rowCount(), 6 + 1 + 2);
    QCOMPARE(view.rowCount(), log.rowCount());
    // Back as it was, the listings as they are listed.
    log.setDumpView(false);
    log.setSelection(dumped.listing, dumped.listing + 8);
    QCOMPARE(log.selectedText(), QStringLiteral("  30  31"));
}

void TstLogPane::dumpRowsAreSelectedWhole()
{
    DumpedLog dumped;
    QVERIFY(dumped.exposed());
    LogPane &log = dumped.log;
    log.setDumpView(true);
    const QStringList reference = referenceDump(dumped.bytes).split(u'\n');
    // From the header's last words into the second row's third byte: the
    // words, then both rows whole.
    const qint64 header = dumped.listing - 5;
    drag(log, before(log, header), before(log, dumped.token(19)));
    QCOMPARE(log.selectedText(), QStringLiteral("接收数据：\n") + reference[0] + u'\n' + reference[1]);
    // A selection inside one row copies that row, as the pane shows it.
    log.setSelection(dumped.token(34) + 1, dumped.token(36));
    log.copy();
    QCOMPARE(QApplication::clipboard()->text(), reference[2]);
    // Ending where a row starts leaves that row out, as it leaves it
    // unmarked.
    log.setSelection(dumped.token(0), dumped.token(16));
    QCOMPARE(log.selectedText(), reference[0]);
}

void TstLogPane::caretKeysCrossDumpRows()
{
    DumpedLog dumped;
    QVERIFY(dumped.exposed());
    LogPane &log = dumped.log;
    log.setDumpView(true);
    log.setFocus();
    // Up from the end goes a row at a time through the dump to the top,
    // and Down all the way back: no row holds the caret.
    log.setSelection(log.store().size(), log.store().size());
    const qint64 last = log.rowOf(log.caretPosition());
    for (qint64 row = last - 1; row >= 0; --row) {
        QTest::keyClick(&log, Qt::Key_Up);
        QCOMPARE(log.rowOf(log.caretPosition()), row);
    }
    for (qint64 row = 1; row <= last; ++row) {
        QTest::keyClick(&log, Qt::Key_Down);
        QCOMPARE(log.rowOf(log.caretPosition()), row);
    }
    // Home and End keep to the row: one row of bytes.
    log.setSelection(dumped.token(20), dumped.token(20));
    QTest::keyClick(&log, Qt::Key_Home);
    QTest::keyClick(&log, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(log.selectionStart(), dumped.token(16));
    QCOMPARE(log.selectionEnd(), dumped.token(32));
}

void TstLogPane::caretKeysCrossWrappedRows()
{
    // A line that wraps at words into rows of unlike lengths: Up from the
    // end of a long row into a short one must not land where the next row
    // starts (and so stay put).
    LogPane log;
    log.resize(260, 300);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    QString line;
    for (int i = 0; i < 12; ++i)
        line += (i % 2 ? QString(log.columns() - 2, u'x') + u' ' : QStringLiteral("ab "));
    log.AppendLog(kBlack, line.trimmed());
    QVERIFY(log.rowCount() >= 8);
    log.setFocus();
    log.setSelection(log.store().size(), log.store().size());
    for (qint64 row = log.rowOf(log.caretPosition()) - 1; row >= 0; --row) {
        QTest::keyClick(&log, Qt::Key_Up);
        QCOMPARE(log.rowOf(log.caretPosition()), row);
    }
}

QTEST_MAIN(TstLogPane)
#include "tst_logpane.moc"
