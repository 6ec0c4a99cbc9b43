// SPDX-License-Identifier: MIT
#include "checksum.h"
#include "clock.h"
#include "fakemscomm.h"
#include "fakewinsock.h"
#include "filesend.h"
#include "quicksends.h"
#include "linkerror.h"
#include "logcolours.h"
#include "logsink.h"
#include "payload.h"
#include "receivecollection.h"
#include "sendcommand.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr qint64 kSecond = 1000;

// A clock that stands still until the test moves it. A pause on it looks
// again every real millisecond, so a move ends it at once.
class HandClock : public Clock
{
public:
    qint64 nowMs() const override { return m_now; }
    int realMs(qint64 clockMs) const override { return clockMs > 0 ? 1 : 0; }
    void advance(qint64 ms) { m_now += ms; }

private:
    qint64 m_now = 0;
};

// The log as the flows write it: each entry's time stamp reads "T", a
// listing as FormatHexBytes gives it; with the colour of every write.
class LogRecord : public LogSink
{
public:
    void AppendLog(quint32 colour, const QString &text) override { add(colour, text); }
    void appendEntry(quint32 colour, const QString &message) override { add(colour, QStringLiteral("\nT") + message); }
    void appendEntryAt(quint32 colour, const QString &message, qint64 wallMs) override
    {
        stamps << wallMs;
        appendEntry(colour, message);
    }
    // Keeps the listed bytes as a log does, so that the capture reads them
    // back from here.
    KeptPlace appendListing(quint32 colour, const QByteArray &bytes) override
    {
        add(colour, FormatHexBytes(bytes));
        if (!keeps)
            return KeptPlace();
        const KeptPlace place{emptied, kept.size()};
        kept += bytes;
        return place;
    }
    bool readKept(KeptPlace place, qint64 n, const KeptSink &sink) const override
    {
        return place.emptied == emptied && place.at + n <= kept.size() && sink(kept.constData() + place.at, n);
    }

    QString text;
    QList<quint32> colours;
    std::function<void()> onWrite;
    // Writes refused as a log out of memory refuses them.
    int refuse = 0;
    bool keeps = true;
    QList<qint64> stamps; // of entries stamped with when their data came
    QByteArray kept;
    quint64 emptied = 0;

private:
    void add(quint32 colour, const QString &piece)
    {
        if (refuse > 0) {
            --refuse;
            throw std::bad_alloc();
        }
        text += piece;
        colours << colour;
        if (onWrite)
            onWrite();
    }
};

// Either tool's control (its fake), as the flows see it, under the test's
// hand: what waits, what lies past the bound, and the two ways a link ends.
class Rig
{
public:
    explicit Rig(bool socket)
    {
        if (socket) {
            m_winsock = std::make_unique<FakeWinsock>();
            m_winsock->state = Winsock::sckConnected;
        } else {
            m_comm = std::make_unique<FakeMSComm>();
            m_comm->open = true;
        }
    }
    Link &link() { return m_comm ? static_cast<Link &>(*m_comm) : *m_winsock; }
    QByteArray &waiting() { return m_comm ? m_comm->inBuffer : m_winsock->inBuffer; }
    QByteArray &beyondBound() { return m_comm ? m_comm->held : m_winsock->held; }
    void setBound(qint64 bytes)
    {
        if (m_comm)
            m_comm->inBufferSize = bytes;
        else
            m_winsock->readBufferSize = bytes;
    }
    // Runs `hook` the next time the flow asks what is waiting.
    void atNextPoll(std::function<void()> hook)
    {
        if (m_comm)
            m_comm->onPoll = std::move(hook);
        else
            m_winsock->onPoll = std::move(hook);
    }
    // Closed by the user: what waited is dropped with the port or socket.
    void close()
    {
        if (m_comm)
            m_comm->setPortOpen(false);
        else
            m_winsock->Close();
    }
    // Lost (an adapter unplugged, the peer's close or reset): down, but
    // what it delivered stays readable.
    void lose()
    {
        if (m_comm)
            m_comm->open = false;
        else
            m_winsock->state = Winsock::sckClosing;
    }
    QList<QByteArray> handedOver() const { return m_comm ? m_comm->output : m_winsock->sent; }
    void refuseHandOvers(const QString &why)
    {
        if (m_comm)
            m_comm->failOutputWith = why;
        else
            m_winsock->failSendWith = why;
    }
    FakeWinsock *winsock() { return m_winsock.get(); }

private:
    std::unique_ptr<FakeMSComm> m_comm;
    std::unique_ptr<FakeWinsock> m_winsock;
};

void addControls()
{
    QTest::addColumn<bool>("socket");
}

} // namespace

// Receiving and sending as the windows drive them, over both tools'
// controls, without a window and on a clock that moves only when told.
class TstFlows : public QObject
{
    Q_OBJECT
private:
    HandClock m_clock;
    std::unique_ptr<Rig> m_rig;
    std::unique_ptr<LogRecord> m_log;
    std::unique_ptr<ReceiveCollection> m_receive;
    std::unique_ptr<SendCommand> m_send;
    int m_lamps = 0;
    // Set when a settle had to be ended by the safety timer: it waited for
    // a second that should never have been waited for.
    bool m_rescued = false;

    void makeRig(bool socket)
    {
        m_rig = std::make_unique<Rig>(socket);
        m_log = std::make_unique<LogRecord>();
        m_receive = std::make_unique<ReceiveCollection>(m_rig->link(), *m_log, [this] { ++m_lamps; });
        m_send = std::make_unique<SendCommand>(m_rig->link(), *m_log);
        m_lamps = 0;
    }
    // Runs `work` inside the next collection's settle, as an event its pause
    // delivers; the clock then moves a second on, as time does.
    void duringSettle(std::function<void()> work, bool thenASecond = true)
    {
        m_rig->atNextPoll([this, work = std::move(work), thenASecond] {
            QMetaObject::invokeMethod(this, [this, work, thenASecond] {
                work();
                if (thenASecond)
                    m_clock.advance(kSecond);
            }, Qt::QueuedConnection);
        });
    }
    // A collection that must not wait for the clock: should it, the safety
    // timer moves the clock on and says so.
    void collectWithoutWaiting()
    {
        QTimer rescue;
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, this, [this] {
            m_rescued = true;
            m_clock.advance(100 * kSecond);
        });
        rescue.start(2000);
        m_receive->collect();
    }
    QByteArray captured()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.bin"));
        if (const Problem problem = m_receive->capture().saveTo(path))
            return "not saved: " + problem.description().toUtf8();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("not readable");
    }

private slots:
    void init()
    {
        Clock::install(&m_clock);
        m_rescued = false;
    }
    void cleanup()
    {
        m_receive.reset();
        m_send.reset();
        m_rig.reset();
        Clock::install(nullptr);
    }

    // --- receiving -------------------------------------------------------

    void settlesThenLogsTheWholeBurstOnce_data()
    {
        addControls();
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("entry");
        for (bool socket : {false, true}) {
            const char *control = socket ? "socket" : "serial";
            QTest::addRow("%s, text", control) << socket << false << "\nT  接收文本：  hel<i>lo</i>";
            QTest::addRow("%s, bytes", control) << socket << true << "\nT  接收数据：  68  65  6C  3C  69  3E  6C  6F  3C  2F  69  3E";
        }
    }
    void settlesThenLogsTheWholeBurstOnce()
    {
        QFETCH(bool, socket);
        QFETCH(bool, bytes);
        QFETCH(QString, entry);
        makeRig(socket);
        m_receive->setShowsText(!bytes);
        m_rig->waiting() = "hel<i>";
        bool collectingMeanwhile = false;
        // The rest arrives during the pause, with an arrival of its own.
        duringSettle([&] {
            collectingMeanwhile = m_receive->collecting();
            m_rig->waiting() += "lo</i>";
            m_receive->collect();
        });
        m_receive->collect();
        QCOMPARE(m_log->text, entry);
        QCOMPARE(m_log->colours, (QList<quint32>{kBlack, kBlack}));
        QVERIFY(collectingMeanwhile);
        QVERIFY(!m_receive->collecting());
        QCOMPARE(m_lamps, 2); // lit by each arrival, the nested one too
        QCOMPARE(m_rig->waiting(), QByteArray());
        QCOMPARE(captured(), QByteArray("hel<i>lo</i>"));
    }

    void whatTheLogHadNoRoomForIsCounted_data()
    {
        addControls();
        QTest::addColumn<bool>("bytes");
        for (bool socket : {false, true}) {
            const char *control = socket ? "socket" : "serial";
            QTest::addRow("%s, text", control) << socket << false;
            QTest::addRow("%s, bytes", control) << socket << true;
        }
    }
    void whatTheLogHadNoRoomForIsCounted()
    {
        // A log out of memory refuses an entry: how many received bytes it
        // could not show is said in red, to the byte, as soon as the words
        // fit; the capture keeps them all; nothing escapes to the caller.
        QFETCH(bool, socket);
        QFETCH(bool, bytes);
        makeRig(socket);
        m_receive->setShowsText(!bytes);
        const auto collect = [this] {
            duringSettle([] {}); // a second on, as time does
            m_receive->collect();
        };
        const QString said = QStringLiteral("\nT  内存不足：收到的%1个字节未能记入信息（仍可由“保存接收数据…”存下）");
        m_log->refuse = 1; // the entry, not the words
        m_rig->waiting() = "abc";
        collect();
        QCOMPARE(m_log->text, said.arg(3));
        QCOMPARE(m_log->colours, QList<quint32>{kRed});
        m_log->text.clear();
        m_log->colours.clear();
        m_log->refuse = 1000; // no room even for the words
        m_rig->waiting() = "defgh";
        collect();
        m_rig->waiting() = "ij";
        collect();
        QCOMPARE(m_log->text, QString());
        m_log->refuse = 0;
        m_rig->waiting() = "kl";
        collect();
        QCOMPARE(m_log->text, (bytes ? QStringLiteral("\nT  接收数据：  6B  6C") : QStringLiteral("\nT  接收文本：  kl"))
                                  + said.arg(7));
        QCOMPARE(captured(), QByteArray("abcdefghijkl"));
    }

    void nothingWaitingIsReadAtOnce_data()
    {
        addControls();
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("entry");
        for (bool socket : {false, true}) {
            const char *control = socket ? "socket" : "serial";
            QTest::addRow("%s, text", control) << socket << false << "\nT  接收文本：  ";
            QTest::addRow("%s, bytes", control) << socket << true << "\nT  接收数据：";
        }
    }
    void nothingWaitingIsReadAtOnce()
    {
        QFETCH(bool, socket);
        QFETCH(bool, bytes);
        QFETCH(QString, entry);
        makeRig(socket);
        m_receive->setShowsText(!bytes);
        collectWithoutWaiting();
        QVERIFY(!m_rescued);
        QCOMPARE(m_log->text, entry);
    }

    void aFullLinkIsReadBeforeAnythingElse_data() { addControls(); QTest::newRow("serial") << false; QTest::newRow("socket") << true; }
    void aFullLinkIsReadBeforeAnythingElse()
    {
        // It takes no more until read: there is nothing to wait for, and no
        // other event runs before the entry is written.
        QFETCH(bool, socket);
        makeRig(socket);
        m_rig->setBound(8);
        m_rig->waiting() = "12345678";
        bool otherEventRan = false;
        QMetaObject::invokeMethod(this, [&] { otherEventRan = true; }, Qt::QueuedConnection);
        m_receive->collect();
        QVERIFY(!otherEventRan);
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  12345678"));
        QCoreApplication::processEvents();
    }

    void fillingDuringTheSettleEndsIt_data() { addControls(); QTest::newRow("serial") << false; QTest::newRow("socket") << true; }
    void fillingDuringTheSettleEndsIt()
    {
        // The clock stands still: only the full link can end the pause.
        QFETCH(bool, socket);
        makeRig(socket);
        m_rig->setBound(8);
        m_rig->waiting() = "1234";
        duringSettle([this] {
            m_rig->waiting() += "5678";
            m_receive->collect(); // as the control raises it when more comes
        }, false);
        collectWithoutWaiting();
        QVERIFY(!m_rescued);
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  12345678"));
        // Below the bound a nested arrival only relights the lamp: the
        // settle goes on until the clock moves.
        m_rig->setBound(1 << 20);
        m_rig->waiting() = "more";
        duringSettle([this] {
            m_receive->collect();
            QVERIFY(m_receive->collecting());
        });
        m_receive->collect();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  12345678\nT  接收文本：  more"));
    }

    void theModeIsReadAfterTheSettle()
    {
        makeRig(false);
        m_rig->waiting() = "AB";
        duringSettle([this] { m_receive->setShowsText(false); });
        m_receive->collect();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收数据：  41  42"));
    }

    void aLinkDownReadsNothing()
    {
        makeRig(true);
        m_rig->waiting() = "late";
        m_rig->lose();
        duringSettle([] {});
        m_receive->collect();
        QCOMPARE(m_log->text, QString());
        QCOMPARE(m_lamps, 1);
        QCOMPARE(m_rig->waiting(), QByteArray("late")); // left for the end's rest
    }

    // Whatever ends the link, what it delivered stands once, before the line
    // that ends it, with what lay past the bound: waiting when the end
    // comes, or arriving with a collection still settling.
    void everyEndLogsWhatCameFirst_data()
    {
        addControls();
        QTest::addColumn<bool>("byUser");
        QTest::addColumn<bool>("settling");
        for (bool socket : {false, true})
            for (bool byUser : {true, false})
                for (bool settling : {false, true})
                    QTest::addRow("%s, %s, %s", socket ? "socket" : "serial", byUser ? "closed" : "lost",
                                  settling ? "settling" : "waiting")
                        << socket << byUser << settling;
    }
    void everyEndLogsWhatCameFirst()
    {
        QFETCH(bool, socket);
        QFETCH(bool, byUser);
        QFETCH(bool, settling);
        makeRig(socket);
        // As the windows end a link: a close logs the rest, then closes; a
        // lost link is down already when its end is handled.
        const auto end = [this, byUser] {
            if (!byUser)
                m_rig->lose();
            m_receive->logRest();
            if (byUser)
                m_rig->close();
            m_log->appendEntry(kBlack, QStringLiteral(" END\r\n"));
        };
        m_rig->waiting() = "bye";
        m_rig->beyondBound() = " and the rest";
        if (settling) {
            duringSettle(end);
            m_receive->collect();
        } else {
            end();
        }
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  bye and the rest\nT END\r\n"));
        QCOMPARE(captured(), QByteArray("bye and the rest"));
        // Nothing waits: an end writes its own line alone.
        m_log->text.clear();
        end();
        QCOMPARE(m_log->text, QStringLiteral("\nT END\r\n"));
    }

    void aCutCharacterShowsAtTheEnd_data()
    {
        addControls();
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("last");
        for (bool socket : {false, true}) {
            const char *control = socket ? "socket" : "serial";
            QTest::addRow("%s, text", control) << socket << false << QStringLiteral("\nT  接收文本：  \uFFFD");
            QTest::addRow("%s, bytes", control) << socket << true << QStringLiteral("\nT  接收数据：  E4  BD");
        }
    }
    void aCutCharacterShowsAtTheEnd()
    {
        QFETCH(bool, socket);
        QFETCH(bool, bytes);
        QFETCH(QString, last);
        makeRig(socket);
        m_rig->waiting() = "ok\xE4\xBD";
        duringSettle([] {});
        m_receive->collect();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  ok"));
        m_receive->setShowsText(!bytes);
        m_rig->lose();
        m_receive->logRest();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  ok") + last);
        // Nothing is held after the end.
        m_log->text.clear();
        m_receive->logRest();
        QCOMPARE(m_log->text, QString());
    }

    void textAcrossReads_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QString>("log");
        const QString r(QChar(0xFFFD));
        const QString entry = QStringLiteral("\nT  接收文本：  ");
        QTest::newRow("cut, then not continued") << QList<QByteArray>{"\xC3", "hello"} << entry + entry + r + "hello";
        QTest::newRow("cut, then a character of its own")
            << QList<QByteArray>{"\xE3", "\xE3\x81\x82"} << entry + entry + r + QStringLiteral("あ");
        QTest::newRow("cut, then completed")
            << QList<QByteArray>{"t=2\xE2\x84", "\x83 ok"} << entry + "t=2" + entry + QStringLiteral("℃ ok");
        QTest::newRow("held bytes lead the listing after a switch")
            << QList<QByteArray>{"ok\xE6\x95", "bytes", "\xB0\x41"}
            << entry + "ok" + QStringLiteral("\nT  接收数据：  E6  95  B0  41");
    }
    void textAcrossReads()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QString, log);
        makeRig(false);
        for (const QByteArray &read : reads) {
            if (read == "bytes") {
                m_receive->setShowsText(false);
                continue;
            }
            m_rig->waiting() = read;
            duringSettle([] {});
            m_receive->collect();
        }
        QCOMPARE(m_log->text, log);
        // Held bytes are captured once, when they came.
        QCOMPARE(captured(), reads.join().replace("bytes", ""));
    }

    void captureReadsListingsFromTheLog()
    {
        // A listing's bytes are captured where the log keeps them; what was
        // shown as text, what the log refused and what a log that keeps no
        // bytes listed are kept by the capture itself: in order, once.
        makeRig(true);
        const auto collect = [this](const QByteArray &bytes, bool text) {
            m_receive->setShowsText(text);
            m_rig->waiting() = bytes;
            duringSettle([] {});
            m_receive->collect();
        };
        collect("ab", true);
        collect("cd", false);
        collect("ef", false);
        m_log->refuse = 1;
        collect("gh", false);
        collect("ij", true);
        m_log->keeps = false;
        collect("kl", false);
        m_log->keeps = true;
        collect("mn", false);
        QCOMPARE(m_log->kept, QByteArray("cdefmn"));
        QCOMPARE(captured(), QByteArray("abcdefghijklmn"));
        // Emptied under the capture, the log no longer has them: the save
        // says so rather than leave them out.
        ++m_log->emptied;
        QCOMPARE(captured(), QByteArray("not saved: 接收数据已不在信息中"));
        m_receive->clearCapture();
        collect("op", false);
        QCOMPARE(captured(), QByteArray("op"));
    }

    // --- frames by silence ---------------------------------------------------

    // Bytes that came at clock time `at` (the clock moved there), as a read
    // from the system leaves them: waiting, and marked.
    void arriveAt(qint64 at, const QByteArray &bytes)
    {
        m_clock.advance(at - m_clock.nowMs());
        m_rig->waiting() += bytes;
        m_rig->link().arrivalMarks().arrived(m_rig->waiting().size());
    }

    void framesFollowWhenReadsCameNotWhenTaken_data()
    {
        addControls();
        QTest::newRow("serial") << false;
        QTest::newRow("socket") << true;
    }
    void framesFollowWhenReadsCameNotWhenTaken()
    {
        // The window got to the link late, with three frames waiting: they
        // are still three entries, cut where the link was silent for the
        // gap, each stamped with when its first read came.
        QFETCH(bool, socket);
        makeRig(socket);
        m_receive->setFrameGap(20);
        m_receive->setShowsText(false);
        const qint64 start = m_clock.nowMs();
        QList<qint64> walls;
        arriveAt(start + 0, "\x01\x03");
        walls << QDateTime::currentMSecsSinceEpoch();
        arriveAt(start + 5, QByteArray("\x00\x0A", 2)); // within the gap: the same frame
        arriveAt(start + 55, "\x02");
        walls << QDateTime::currentMSecsSinceEpoch();
        arriveAt(start + 355, "\x03\x04");
        walls << QDateTime::currentMSecsSinceEpoch();
        m_clock.advance(400);
        collectWithoutWaiting();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收数据：  1  3  0  A\nT  接收数据：  2\nT  接收数据：  3  4"));
        QCOMPARE(m_log->stamps.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_log->stamps[i] <= walls[i] && m_log->stamps[i] >= walls[i] - 50);
        QVERIFY(!m_rescued);
        QCOMPARE(captured(), QByteArray("\x01\x03\x00\x0A\x02\x03\x04", 7));
    }

    void aFrameWaitsForItsSilence()
    {
        // A frame still coming is not cut: the collection waits until the
        // link has been silent for the gap after its last read.
        makeRig(true);
        m_receive->setFrameGap(20);
        arriveAt(m_clock.nowMs(), "AT");
        bool nested = false;
        QTimer::singleShot(0, this, [&] {
            arriveAt(m_clock.nowMs() + 15, "+OK");
            m_receive->collect(); // its own arrival: lights the lamp only
            nested = true;
            QTimer::singleShot(0, this, [&] { m_clock.advance(100); });
        });
        m_receive->collect();
        QVERIFY(nested);
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  AT+OK"));
        QCOMPARE(m_lamps, 2);
        QVERIFY(!m_receive->collecting());
    }

    void framesAreCutAtTheLinksBound()
    {
        // A stream that is never silent still makes entries: a frame ends
        // where the link's bound is reached.
        makeRig(false);
        m_rig->setBound(4);
        m_receive->setFrameGap(20);
        m_receive->setShowsText(false);
        arriveAt(m_clock.nowMs(), "ABCDEFGHIJ");
        m_clock.advance(50);
        collectWithoutWaiting();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收数据：  41  42  43  44\nT  接收数据：  45  46  47  48"
                                             "\nT  接收数据：  49  4A"));
    }

    void aFrameStillComingIsLoggedBeforeTheEnd()
    {
        // The link ends inside the gap: what came is logged as its frames,
        // before whatever ends it, a cut character at the very end.
        makeRig(true);
        m_receive->setFrameGap(50);
        arriveAt(m_clock.nowMs(), "one");
        arriveAt(m_clock.nowMs() + 100, "two\xE4");
        QTimer::singleShot(0, this, [&] {
            m_rig->lose();
            m_receive->logRest();
            m_log->text += QStringLiteral("|end");
            m_clock.advance(1000);
        });
        m_receive->collect();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  one\nT  接收文本：  two\uFFFD|end"));
    }

    void aFailedReadLeavesTheNextCollectionWorking()
    {
        makeRig(true);
        m_rig->winsock()->failGetDataWith = QStringLiteral("读取失败");
        m_rig->waiting() = "x";
        duringSettle([] {});
        QVERIFY_THROWS_EXCEPTION(LinkError, m_receive->collect());
        QVERIFY(!m_receive->collecting());
        m_rig->winsock()->failGetDataWith.clear();
        m_rig->waiting() = "y";
        duringSettle([] {});
        m_receive->collect();
        QCOMPARE(m_log->text, QStringLiteral("\nT  接收文本：  y"));
    }

    // --- quick sends -----------------------------------------------------

    void aQuickSendIsCheckedBeforeItIsKept_data()
    {
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("said");
        QTest::newRow("bytes") << true << "01 03 00 00 00 0a" << 0 << "";
        QTest::newRow("not hex") << true << "01 GG" << 0 << "“GG”不是十六进制字节（每个一到两位，用空格分开）";
        QTest::newRow("three digits") << true << "123" << 0 << "“123”不是十六进制字节（每个一到两位，用空格分开）";
        QTest::newRow("too many") << true << QString("00 ").repeated(256) << 0 << "最多255个字节";
        QTest::newRow("text is anything") << false << "GG 123" << 0 << "";
        QTest::newRow("period below the least") << false << "AT" << 9 << "重复周期须为0（不重复）或10到3600000毫秒";
        QTest::newRow("the least period") << false << "AT" << 10 << "";
    }
    void aQuickSendIsCheckedBeforeItIsKept()
    {
        QFETCH(bool, bytes);
        QFETCH(QString, content);
        QFETCH(int, period);
        QFETCH(QString, said);
        QuickSend send;
        send.bytes = bytes;
        send.content = content;
        send.periodMs = period;
        QCOMPARE(send.check().description(), said);
    }

    void aQuickSendSetComesBackAsItWasKept()
    {
        QuickSendSet set;
        set.keys[0] = QuickSend{QStringLiteral("读寄存器"), QStringLiteral("01 03 00 00 00 0A"), true, LineEnding::None,
                                Checksum::Crc16Modbus, 0, 0};
        set.keys[11] = QuickSend{QString(), QStringLiteral("AT+CSQ"), false, LineEnding::CrLf, Checksum::None, 500, 20};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.json"));
        QVERIFY(!set.save(path));
        QuickSendSet read;
        QVERIFY(!QuickSendSet::load(path, &read));
        QCOMPARE(read.toJson(), set.toJson());
        QCOMPARE(read.keys[11].ending, LineEnding::CrLf);
        QCOMPARE(read.keys[0].checksum, Checksum::Crc16Modbus);
        // Not ours, or not right: said, and the set left as it was.
        for (const QByteArray &json : {QByteArray("{\"name\": 1}"), QByteArray("not json"),
                                       QByteArray("{\"format\":\"quick-sends\",\"version\":2}"),
                                       QByteArray("{\"format\":\"quick-sends\",\"version\":1,\"keys\":"
                                                  "[{\"content\":\"ZZ\",\"mode\":\"bytes\"}]}")}) {
            QVERIFY2(QuickSendSet::fromJson(json, &read), json.constData());
            QCOMPARE(read.toJson(), set.toJson());
        }
        QCOMPARE(QuickSendSet::load(dir.filePath(QStringLiteral("none.json")), &read).description().isEmpty(), false);
    }

    void aQuickSendGoesOutWithItsOwnEnding()
    {
        makeRig(true);
        QuickSender sender(m_rig->link(), *m_log);
        sender.send(QuickSend{QString(), QStringLiteral(" AT "), false, LineEnding::CrLf, Checksum::None, 0, 0});
        sender.send(QuickSend{QString(), QStringLiteral("01 03 00 00 00 0A"), true, LineEnding::None,
                              Checksum::Crc16Modbus, 0, 0});
        QCOMPARE(m_rig->handedOver(), (QList<QByteArray>{"AT\r\n", QByteArray::fromHex("01030000000AC5CD")}));
        QCOMPARE(m_log->text, QStringLiteral("\nT  发送文本：  AT\nT  发送数据：  1  3  0  0  0  A  C5  CD"));
        QVERIFY(!sender.repeating());
    }

    void aRepeatNeverPilesUpAndSaysHowItEnded()
    {
        // Ten sends 10 ms apart; while the link holds the last one unsent,
        // ticks are skipped, and counted; the end says how many of each.
        makeRig(true);
        QuickSender sender(m_rig->link(), *m_log);
        QList<bool> states;
        connect(&sender, &QuickSender::repeatingChanged, this, [&](bool on) { states << on; });
        sender.send(QuickSend{QString(), QStringLiteral("ping"), false, LineEnding::None, Checksum::None, 10, 4});
        QVERIFY(sender.repeating());
        m_rig->winsock()->unsentBytes = 4; // the link holds it
        QTest::qWait(45);
        const qsizetype whileHeld = m_rig->handedOver().size();
        QCOMPARE(whileHeld, 1);
        m_rig->winsock()->unsentBytes = 0;
        QTRY_VERIFY(!sender.repeating());
        QCOMPARE(m_rig->handedOver().size(), 4);
        QVERIFY2(m_log->text.contains(QRegularExpression(QStringLiteral("\nT  重复发送结束：已发送4次，跳过[1-9]\\d*次$"))),
                 qPrintable(m_log->text));
        QCOMPARE(states, (QList<bool>{true, false}));

        // Endless, until the link ends: said in red.
        m_log->text.clear();
        sender.send(QuickSend{QString(), QStringLiteral("ping"), false, LineEnding::None, Checksum::None, 10, 0});
        QTRY_VERIFY(m_rig->handedOver().size() >= 7);
        m_rig->lose();
        QTRY_VERIFY(!sender.repeating());
        QVERIFY(m_log->text.contains(QStringLiteral("重复发送结束：链路已断开；已发送")));
        QCOMPARE(m_log->colours.last(), kRed);
    }

    // --- sending a file ----------------------------------------------------

    // A file of `size` bytes (lines of 40), in `dir`.
    static QString fileOf(const QTemporaryDir &dir, qsizetype size, QByteArray *content)
    {
        content->clear();
        for (qsizetype i = 0; content->size() < size; ++i)
            content->append(QByteArray::number(i).rightJustified(39, '.') + '\n');
        content->truncate(size);
        const QString path = dir.filePath(QStringLiteral("send.bin"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(*content);
        return path;
    }
    // Runs the event loop until the file send is over (or 10 s passed).
    static void untilFinished(FileSend &send)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!send.running(), 10000);
    }

    void aFileGoesOutWithinWhatTheLinkTakes_data()
    {
        addControls();
        QTest::newRow("serial") << false;
        QTest::newRow("socket") << true;
    }
    void aFileGoesOutWithinWhatTheLinkTakes()
    {
        // Never more handed over than the link has room for; every byte
        // once, in order; the log says what and how it ended, with the
        // CRC-32 of what went.
        QFETCH(bool, socket);
        makeRig(socket);
        QTemporaryDir dir;
        QByteArray content;
        const QString path = fileOf(dir, 300000, &content);
        if (socket)
            m_rig->winsock()->unsentBytes = m_rig->link().sendsAtMost() - 5000;
        FileSend send(m_rig->link(), *m_log);
        QVERIFY(!send.start(path));
        untilFinished(send);
        QByteArray out;
        qsizetype largest = 0;
        for (const QByteArray &piece : m_rig->handedOver()) {
            out += piece;
            largest = std::max(largest, piece.size());
        }
        QCOMPARE(out.size(), content.size());
        QVERIFY(out == content);
        QVERIFY(largest <= (socket ? 5000 : 64 * 1024));
        const QString crc = QString::number(crc32(content), 16).rightJustified(8, u'0').toUpper();
        QCOMPARE(m_log->text, QStringLiteral("\nT  发送文件：%1（300000个字节）\nT  发送文件完成：300000个字节，CRC-32 %2")
                                  .arg(QFileInfo(path).absoluteFilePath(), crc));
        QCOMPARE(m_log->colours, (QList<quint32>{kBlack, kBlue}));
    }

    void aPacedFileGoesOutALineOrAByteAtATime()
    {
        makeRig(true);
        QTemporaryDir dir;
        QByteArray content;
        const QString path = fileOf(dir, 100, &content);
        FileSend send(m_rig->link(), *m_log);
        QVERIFY(!send.start(path, FileSend::Pace::PerLine, 1));
        untilFinished(send);
        QCOMPARE(m_rig->handedOver(), (QList<QByteArray>{content.left(40), content.mid(40, 40), content.mid(80)}));
        m_rig->winsock()->sent.clear();
        QVERIFY(!send.start(path, FileSend::Pace::PerByte, 1));
        QTRY_VERIFY(m_rig->handedOver().size() >= 3);
        send.cancel();
        const qsizetype handed = m_rig->handedOver().size();
        for (const QByteArray &piece : m_rig->handedOver())
            QCOMPARE(piece.size(), 1);
        QVERIFY(m_log->text.endsWith(QStringLiteral("\nT  发送文件中止：已取消；已交出%1个字节").arg(handed)));
        QCOMPARE(m_log->colours.last(), kRed);
        QTest::qWait(20);
        QCOMPARE(m_rig->handedOver().size(), handed); // cancelled at once
    }

    void aFileSendSaysWhyItCannotGoOn()
    {
        makeRig(false);
        QTemporaryDir dir;
        QByteArray content;
        const QString path = fileOf(dir, 1 << 20, &content);
        FileSend send(m_rig->link(), *m_log);
        // Not there: refused before anything is logged or sent.
        QVERIFY(send.start(dir.filePath(QStringLiteral("none.bin"))));
        QVERIFY(m_log->text.isEmpty());
        // The link ends while it goes: said, with what went.
        QVERIFY(!send.start(path, FileSend::Pace::PerLine, 1));
        QTRY_VERIFY(m_rig->handedOver().size() >= 2);
        m_rig->lose();
        untilFinished(send);
        QVERIFY2(m_log->text.endsWith(QStringLiteral("\nT  发送文件中止：链路已断开；已交出%1个字节").arg(send.handedOver())),
                 qPrintable(m_log->text));
        // A link that is down takes no file.
        m_log->text.clear();
        QCOMPARE(send.start(path).description(), QStringLiteral("没有连通的链路：请先打开端口或建立连接"));
        QVERIFY(m_log->text.isEmpty());
    }

    // --- sending ---------------------------------------------------------

    void sendsNothingWhileTheLinkIsDown_data() { addControls(); QTest::newRow("serial") << false; QTest::newRow("socket") << true; }
    void sendsNothingWhileTheLinkIsDown()
    {
        QFETCH(bool, socket);
        makeRig(socket);
        m_rig->lose();
        // Also with nothing to send: the link is looked at first.
        for (const QString &box : {QStringLiteral("x"), QStringLiteral("   ")})
            QCOMPARE(m_send->send(box).outcome, SendCommand::Outcome::LinkDown);
        QVERIFY(m_rig->handedOver().isEmpty());
        QCOMPARE(m_log->text, QString());
    }

    void sendsNothingFromABoxOfSpaces()
    {
        makeRig(false);
        QCOMPARE(m_send->send(QStringLiteral("    ")).outcome, SendCommand::Outcome::NothingToSend);
        QVERIFY(m_rig->handedOver().isEmpty());
        QCOMPARE(m_log->text, QString());
    }

    void textIsHandedOverThenLogged_data() { addControls(); QTest::newRow("serial") << false; QTest::newRow("socket") << true; }
    void textIsHandedOverThenLogged()
    {
        QFETCH(bool, socket);
        makeRig(socket);
        m_send->setTextEnding(QStringLiteral("\r"));
        QList<int> handedAtWrite;
        m_log->onWrite = [&] { handedAtWrite << int(m_rig->handedOver().size()); };
        const SendCommand::Result sent = m_send->send(QStringLiteral("  hi\tthere  "));
        QCOMPARE(sent.outcome, SendCommand::Outcome::Sent);
        QCOMPARE(sent.text, QStringLiteral("hi\tthere"));
        QCOMPARE(m_rig->handedOver(), (QList<QByteArray>{"hi\tthere\r"}));
        QCOMPARE(m_log->text, QStringLiteral("\nT  发送文本：  hi\tthere")); // without the ending
        QCOMPARE(handedAtWrite, QList<int>{1});
    }

    void bytesAreLoggedThenHandedOver()
    {
        makeRig(true);
        m_send->setSendsBytes(true);
        QList<int> handedAtWrite;
        m_log->onWrite = [&] { handedAtWrite << int(m_rig->handedOver().size()); };
        QCOMPARE(m_send->send(QStringLiteral(" 41 42    0d ")).outcome, SendCommand::Outcome::Sent);
        QCOMPARE(m_rig->handedOver(), (QList<QByteArray>{"AB\r"}));
        QCOMPARE(m_rig->winsock()->sentAsText, QList<bool>{false});
        QCOMPARE(m_log->text, QStringLiteral("\nT  发送数据：  41  42  D"));
        QCOMPARE(handedAtWrite, (QList<int>{0, 0}));
    }

    void bytesBeyondTheLimitsAreRefused()
    {
        makeRig(false);
        m_send->setSendsBytes(true);
        const QString tooMany = QStringLiteral("1 ").repeated(kMaxPayloadTokens + 1).trimmed();
        QCOMPARE(m_send->send(tooMany).outcome, SendCommand::Outcome::BeyondLimits);
        QVERIFY(m_rig->handedOver().isEmpty());
        QCOMPARE(m_log->text, QStringLiteral("\nT  发送字节超出限制：最多255个字节，每段不超过254个字符"));
        QCOMPARE(m_log->colours, QList<quint32>{kRed});
        // Exactly the limit goes out.
        QCOMPARE(m_send->send(QStringLiteral("1 ").repeated(kMaxPayloadTokens)).outcome, SendCommand::Outcome::Sent);
        QCOMPARE(m_rig->handedOver().constFirst().size(), kMaxPayloadTokens);
    }

    void aRefusalReachesTheCaller_data()
    {
        addControls();
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("log");
        for (bool socket : {false, true}) {
            const char *control = socket ? "socket" : "serial";
            // Text is logged only once it went; bytes were logged before.
            QTest::addRow("%s, text", control) << socket << false << QString();
            QTest::addRow("%s, bytes", control) << socket << true << QStringLiteral("\nT  发送数据：  7");
        }
    }
    void aRefusalReachesTheCaller()
    {
        QFETCH(bool, socket);
        QFETCH(bool, bytes);
        QFETCH(QString, log);
        makeRig(socket);
        m_send->setSendsBytes(bytes);
        m_rig->refuseHandOvers(QStringLiteral("refused"));
        try {
            m_send->send(QStringLiteral("7"));
            QFAIL("the refusal was not raised");
        } catch (const LinkError &e) {
            QCOMPARE(e.description(), QStringLiteral("refused"));
        }
        QCOMPARE(m_log->text, log);
    }
};

QTEST_GUILESS_MAIN(TstFlows)
#include "tst_flows.moc"
