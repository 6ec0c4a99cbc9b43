// SPDX-License-Identifier: MIT
#include "sendhistory.h"

#include <QLineEdit>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

namespace {

// Counts the Up/Down presses that get past the history, i.e. reach the
// box's own handling. Installed before the history, so it runs after it.
class KeySpy : public QObject
{
public:
    int passed = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down)
                ++passed;
        }
        return false;
    }
};

// A shown window whose only input is a send box as the consoles have it.
struct Console
{
    std::unique_ptr<QWidget> window{new QWidget};
    QLineEdit *box = new QLineEdit(window.get());
    KeySpy spy;
    SendHistory *history;

    Console()
    {
        box->setMaxLength(512);
        box->installEventFilter(&spy);
        history = new SendHistory(box);
        (new QVBoxLayout(window.get()))->addWidget(box);
    }
    bool show()
    {
        window->show();
        window->activateWindow();
        box->setFocus();
        return QTest::qWaitForWindowExposed(window.get()) && QTest::qWaitForWindowActive(window.get());
    }
    void sent(std::initializer_list<const char *> texts)
    {
        for (const char *t : texts)
            history->record(QString::fromUtf8(t));
    }
    void up() { QTest::keyClick(box, Qt::Key_Up); }
    void down() { QTest::keyClick(box, Qt::Key_Down); }
    // The box's text with the caret shown as '|'.
    QString shown() const
    {
        QString s = box->text();
        return s.insert(box->cursorPosition(), u'|');
    }
};

} // namespace

class TstSendHistory : public QObject
{
    Q_OBJECT
private slots:
    void browsesNewestFirstAndBackToTheDraft_data();
    void browsesNewestFirstAndBackToTheDraft();
    void editedEntryIsDiscardedOnMoving();
    void recordKeepsDistinctSends();
    void limitDropsTheOldest();
    void recordStartsBrowsingOver();
    void firstUpGoesPastWhatWasJustSent();
    void keysItDoesNotUseAreLeftAlone_data();
    void keysItDoesNotUseAreLeftAlone();
    void usedKeysReachNoOtherHandler();
};

void TstSendHistory::browsesNewestFirstAndBackToTheDraft_data()
{
    QTest::addColumn<QString>("draft");
    QTest::addColumn<int>("caret");
    QTest::newRow("typed, caret inside") << QStringLiteral("AT+ver") << 2;
    QTest::newRow("empty") << QString() << 0;
}

void TstSendHistory::browsesNewestFirstAndBackToTheDraft()
{
    QFETCH(QString, draft);
    QFETCH(int, caret);
    Console c;
    QVERIFY(c.show());
    c.sent({"first", "second", "third"});
    c.box->setText(draft);
    c.box->setCursorPosition(caret);

    QStringList seen;
    for (int i = 0; i < 5; ++i) {
        c.up();
        seen << c.shown();
    }
    QCOMPARE(seen, QStringList({"third|", "second|", "first|", "first|", "first|"}));

    seen.clear();
    for (int i = 0; i < 4; ++i) {
        c.down();
        seen << c.shown();
    }
    const QString restored = draft + u'|';
    QCOMPARE(seen, QStringList({"second|", "third|", restored, restored}));

    // Once back at the draft, Up starts from the newest again.
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("third|"));
    c.down();
    QCOMPARE(c.shown(), restored);
}

void TstSendHistory::editedEntryIsDiscardedOnMoving()
{
    Console c;
    QVERIFY(c.show());
    c.sent({"alpha", "beta"});
    c.box->setText(QStringLiteral("draft"));

    c.up();
    QTest::keyClicks(c.box, "XY");
    QCOMPARE(c.box->text(), QStringLiteral("betaXY"));
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("alpha|"));
    c.down();
    QCOMPARE(c.shown(), QStringLiteral("beta|"));

    // At the oldest, Up neither moves nor undoes the edit.
    c.up();
    QTest::keyClick(c.box, Qt::Key_Backspace);
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("alph|"));

    // The draft is what was typed before the first Up, whatever was edited since.
    c.down();
    QTest::keyClicks(c.box, "Z");
    c.down();
    QCOMPARE(c.shown(), QStringLiteral("draft|"));
    QCOMPARE(c.history->entries(), QStringList({"beta", "alpha"}));
}

void TstSendHistory::recordKeepsDistinctSends()
{
    Console c;
    c.sent({"a", "a", "", "b", "a", "a", ""});
    QCOMPARE(c.history->entries(), QStringList({"a", "b", "a"}));
}

void TstSendHistory::limitDropsTheOldest()
{
    Console c;
    QVERIFY(c.show());
    const int extra = 3;
    for (int i = 0; i < SendHistory::kLimit + extra; ++i)
        c.history->record(QString::number(i));
    const QStringList kept = c.history->entries();
    QCOMPARE(kept.size(), SendHistory::kLimit);
    QCOMPARE(kept.first(), QString::number(SendHistory::kLimit + extra - 1));
    QCOMPARE(kept.last(), QString::number(extra));

    for (int i = 0; i < SendHistory::kLimit + extra; ++i)
        c.up();
    QCOMPARE(c.box->text(), QString::number(extra));

    // A full-length send comes back whole.
    const QString longest(c.box->maxLength(), u'x');
    c.history->record(longest);
    c.box->clear();
    c.up();
    QCOMPARE(c.box->text(), longest);
    QCOMPARE(c.box->cursorPosition(), longest.size());
}

void TstSendHistory::recordStartsBrowsingOver()
{
    Console c;
    QVERIFY(c.show());
    c.sent({"one", "two"});
    c.box->setText(QStringLiteral("old draft"));
    c.up();
    c.up();
    QCOMPARE(c.box->text(), QStringLiteral("one"));

    // The window sends what is shown and leaves it in the box.
    c.history->record(c.box->text());
    c.box->setText(QStringLiteral("new draft"));
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("one|"));
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("two|"));
    c.down();
    c.down();
    QCOMPARE(c.shown(), QStringLiteral("new draft|"));

    // Even a send that adds nothing ends browsing.
    c.up();
    c.up();
    c.history->record(QStringLiteral("one"));
    c.box->setText(QStringLiteral("third draft"));
    c.down();
    QCOMPARE(c.box->text(), QStringLiteral("third draft"));
    QCOMPARE(c.history->entries(), QStringList({"one", "two", "one"}));
}

void TstSendHistory::firstUpGoesPastWhatWasJustSent()
{
    // The box keeps what was just sent: the first Up shows the send before
    // it, and Down comes back to what the box showed.
    Console c;
    QVERIFY(c.show());
    c.sent({"one", "two", "three"});
    c.box->setText(QStringLiteral("three"));
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("two|"));
    c.up();
    QCOMPARE(c.shown(), QStringLiteral("one|"));
    c.down();
    c.down();
    QCOMPARE(c.shown(), QStringLiteral("three|"));
    // One send only: nothing before it to show.
    Console single;
    QVERIFY(single.show());
    single.sent({"only"});
    single.box->setText(QStringLiteral("only"));
    single.up();
    QCOMPARE(single.shown(), QStringLiteral("only|"));
}

void TstSendHistory::keysItDoesNotUseAreLeftAlone_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("withHistory");
    QTest::newRow("shift+up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
    QTest::newRow("ctrl+up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("alt+up") << int(Qt::Key_Up) << Qt::KeyboardModifiers(Qt::AltModifier) << true;
    QTest::newRow("ctrl+down") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("up, nothing sent yet") << int(Qt::Key_Up) << Qt::KeyboardModifiers() << false;
}

void TstSendHistory::keysItDoesNotUseAreLeftAlone()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, withHistory);
    Console c;
    QVERIFY(c.show());
    if (withHistory)
        c.sent({"older", "newer"});
    c.box->setText(QStringLiteral("typing"));
    c.up(); // browsing, so that a modified Down would have somewhere to go
    if (withHistory)
        QCOMPARE(c.box->text(), QStringLiteral("newer"));
    const QString before = c.box->text();
    const int passed = c.spy.passed;

    QTest::keyClick(c.box, Qt::Key(key), modifiers);
    QCOMPARE(c.spy.passed, passed + 1);
    QCOMPARE(c.box->text(), before);
    if (withHistory) {
        // Browsing went on from where it was.
        c.up();
        QCOMPARE(c.box->text(), QStringLiteral("older"));
    }
}

void TstSendHistory::usedKeysReachNoOtherHandler()
{
    Console c;
    int fired = 0;
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down})
        QObject::connect(new QShortcut(key, c.window.get()), &QShortcut::activated, [&] { ++fired; });
    QVERIFY(c.show());
    c.sent({"only"});

    c.up();   // shows the entry
    c.up();   // at the oldest already
    c.down(); // back to the draft
    c.down(); // past the draft
    QCOMPARE(c.spy.passed, 0);
    QCOMPARE(fired, 0);
    QCOMPARE(c.box->text(), QString());
}

QTEST_MAIN(TstSendHistory)
#include "tst_sendhistory.moc"
