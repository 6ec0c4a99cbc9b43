#include "lamp.h"
#include "logpane.h"
#include "logreader.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

using namespace logreader;

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
    QVERIFY(!log.document()->begin().charFormat().font().bold());
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
    QCOMPARE(log.document()->blockCount(), 1);
}

void TstLogPane::userCaretAndSelectionStayPut()
{
    LogPane log;
    log.AppendLog(kBlack, QStringLiteral("first line\r\nsecond line"));
    QTextCursor user = log.textCursor();
    user.setPosition(2);
    user.setPosition(8, QTextCursor::KeepAnchor);
    log.setTextCursor(user);

    log.AppendLog(kRed, QStringLiteral("\r\nthird"));
    log.AppendLog(kBlue, QStringLiteral("成功"));

    QCOMPARE(logText(&log), QStringLiteral("first line\nsecond line\nthird成功"));
    QCOMPARE(log.textCursor().selectedText(), QStringLiteral("rst li"));
    QCOMPARE(colourOf(&log, QStringLiteral("third")), kRed);
    QCOMPARE(colourOf(&log, QStringLiteral("成功")), kBlue);

    // A caret at the very start does not pull text there either.
    user.setPosition(0);
    log.setTextCursor(user);
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
    QCOMPARE(log.textCursor().selectedText(), QStringLiteral("T  启动程序"));
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("T  启动程序"));

    QScopedPointer<QMenu> menu(log.createStandardContextMenu());
    QStringList actions;
    for (QAction *a : menu->actions())
        if (a->isEnabled())
            actions << a->text();
    QVERIFY2(actions.join(u' ').contains(QStringLiteral("Copy")), qPrintable(actions.join(u',')));
    QVERIFY(actions.join(u' ').contains(QStringLiteral("Select All")));
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
    QVERIFY(log.document()->blockCount() > 6); // held in pieces all the same

    // No listing token is cut, and no block starts inside a surrogate pair.
    for (QTextBlock b = log.document()->begin(); b.isValid(); b = b.next()) {
        const QString t = b.text();
        if (t.isEmpty())
            continue;
        QVERIFY(!t.at(0).isLowSurrogate());
        if (t.startsWith(u' ') && b.position() > 0 && b.previous().text().contains(QStringLiteral("  ")))
            QVERIFY2(t.startsWith(QStringLiteral("  ")), qPrintable(t.left(10)));
    }
    QCOMPARE(colourOf(&log, QString(100, u'x')), kRed);
    QCOMPARE(colourOf(&log, QStringLiteral("成功")), kBlue);
}

void TstLogPane::copyJoinsWhatTheLineHolds()
{
    LogPane log;
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QString longLine = QString(3 * LogPane::kSegment, u'z');
    log.AppendLog(kBlack, QStringLiteral("first\r\n") + longLine + QStringLiteral("\r\nlast"));
    log.setFocus();
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first\n") + longLine + QStringLiteral("\nlast"));

    // A selection that starts inside the long line and ends inside the next.
    QTextCursor c(log.document());
    c.setPosition(6 + 10);
    c.setPosition(log.document()->characterCount() - 3, QTextCursor::KeepAnchor);
    log.setTextCursor(c);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), longLine.mid(10) + QStringLiteral("\nla"));
}

QTEST_MAIN(TstLogPane)
#include "tst_logpane.moc"
