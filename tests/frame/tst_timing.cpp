// SPDX-License-Identifier: MIT
#include "clock.h"
#include "consolewindow.h"
#include "lamp.h"
#include "link.h"
#include "pause.h"
#include "timestamp.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {
// A link that is never up.
class NoLink : public Link
{
public:
    bool linkUp() const override { return false; }
    qint64 waiting() const override { return 0; }
    qint64 holdsAtMost() const override { return 1; }
    QByteArray takeWaiting() override { return {}; }
    QByteArray takeEverything() override { return {}; }
    void handOverText(const QString &) override {}
    void handOverBytes(const QByteArray &) override {}
    qint64 unsent() const override { return 0; }
    qint64 sendsAtMost() const override { return 0; }
};

// The shared frame with no link behind it.
class BareWindow : public ConsoleWindow
{
public:
    BareWindow() : ConsoleWindow(m_none) {}

private:
    static inline NoLink m_none;
};
} // namespace

// The pause, the lamps' timers and the time stamp.
class TstTiming : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Clock::install(nullptr); }
    void waitHandlesEventsAndEndsOnTime();
    void waitZeroAndNegativeMakeOnePass();
    void waitFollowsTheInstalledClock();
    void waitNestsInsideItself();
    void lampGoesOutAfterOneInterval();
    void relightingKeepsTheLampLit();
    void timeStampHasNoZone_data();
    void timeStampHasNoZone();
};

void TstTiming::waitHandlesEventsAndEndsOnTime()
{
    QElapsedTimer real;
    qint64 handledAt = -1;
    real.start();
    QTimer::singleShot(100, [&] { handledAt = real.elapsed(); });
    Wait(0.4);
    const qint64 took = real.elapsed();
    QVERIFY2(handledAt >= 0 && handledAt < 400, "an event due during the pause ran during it");
    QVERIFY2(took >= 400, qPrintable(QString::number(took)));
    QVERIFY2(took < 2000, qPrintable(QString::number(took)));
}

void TstTiming::waitZeroAndNegativeMakeOnePass()
{
    for (double times : {0.0, -1.0, -1e9}) {
        bool handled = false;
        QMetaObject::invokeMethod(this, [&] { handled = true; }, Qt::QueuedConnection);
        QElapsedTimer real;
        real.start();
        Wait(times);
        QVERIFY(handled);
        QVERIFY(real.elapsed() < 500);
    }
}

void TstTiming::waitFollowsTheInstalledClock()
{
    ScaledClock fast(50);
    Clock::install(&fast);
    const qint64 clockStart = fast.nowMs();
    QElapsedTimer real;
    real.start();
    Wait(2.0); // 40 ms of real time
    QVERIFY(fast.nowMs() - clockStart >= 2000);
    QVERIFY2(real.elapsed() < 1500, qPrintable(QString::number(real.elapsed())));
}

void TstTiming::waitNestsInsideItself()
{
    // A handler that pauses while another pause is running: both end.
    QElapsedTimer real;
    real.start();
    bool innerDone = false;
    QTimer::singleShot(50, [&] {
        Wait(0.2);
        innerDone = true;
    });
    Wait(0.1);
    QVERIFY(innerDone);
    QVERIFY(real.elapsed() >= 200);
}

void TstTiming::lampGoesOutAfterOneInterval()
{
    BareWindow w;
    QVERIFY(!w.ShpSend->isLit());
    QVERIFY(!w.ShpArrv->isLit());
    QElapsedTimer real;
    real.start();
    w.lightSendLamp();
    w.lightArrvLamp();
    QCOMPARE(w.ShpSend->BackColor(), kRed);
    QCOMPARE(w.ShpArrv->BackColor(), kRed);
    QTRY_VERIFY_WITH_TIMEOUT(!w.ShpSend->isLit() && !w.ShpArrv->isLit(), 3000);
    QVERIFY2(real.elapsed() >= 190, qPrintable(QString::number(real.elapsed())));
    QCOMPARE(w.ShpSend->BackColor(), kBlack);
    // One tick per lighting: the timers stop.
    QVERIFY(!w.TimeSend->isActive());
    QVERIFY(!w.TimeArrv->isActive());
}

void TstTiming::relightingKeepsTheLampLit()
{
    BareWindow w;
    QElapsedTimer real;
    real.start();
    w.lightArrvLamp();
    QTest::qWait(120);
    w.lightArrvLamp(); // lighting again restarts its interval
    QTRY_VERIFY_WITH_TIMEOUT(!w.ShpArrv->isLit(), 3000);
    QVERIFY2(real.elapsed() >= 300, qPrintable(QString::number(real.elapsed())));
}

void TstTiming::timeStampHasNoZone_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zh_CN") << "zh_CN" << QString();
    QTest::newRow("en_US") << "en_US" << QString();
    QTest::newRow("de_DE") << "de_DE" << "07.12.26 13:05:09";
    QTest::newRow("en_GB") << "en_GB" << "07/12/2026 13:05:09";
}

void TstTiming::timeStampHasNoZone()
{
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    const QLocale loc(locale);
    const QDateTime when(QDate(2026, 12, 7), QTime(13, 5, 9), Qt::UTC);
    const QString text = generalDateTime(when, loc);
    QVERIFY2(text.startsWith(loc.toString(when.date(), QLocale::ShortFormat) + u' '), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("05:09")) || text.contains(QStringLiteral("5:09")), qPrintable(text));
    for (const char *zone : {"CST", "Shanghai", "China", "GMT", "UTC", "+08", "中国"})
        QVERIFY2(!text.contains(QString::fromUtf8(zone)), qPrintable(text));
    QVERIFY2(!text.endsWith(u' '), qPrintable(text));
    if (!expected.isEmpty())
        QCOMPARE(text, expected);
}

QTEST_MAIN(TstTiming)
#include "tst_timing.moc"
