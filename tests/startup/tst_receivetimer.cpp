#include "startup/ReceiveTimer.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

/** The count-down of timed receiving, with time passed by hand a second at a time. */
class TestReceiveTimer : public QObject
{
    Q_OBJECT

    ManualOneShotTimer m_tick;
    qint64 m_now = 0;
    bool m_running = false;
    std::unique_ptr<ReceiveTimer> m_timer;
    std::unique_ptr<QSignalSpy> m_due;

    void pass(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            m_now += 1000;
            m_tick.Advance(1000);
        }
    }

private slots:
    void init()
    {
        m_now = 0;
        m_running = false;
        m_timer = std::make_unique<ReceiveTimer>([this] { return m_running; });
        m_timer->SetTime(&m_tick, [this] { return m_now; });
        m_due = std::make_unique<QSignalSpy>(m_timer.get(), &ReceiveTimer::Due);
    }

    void remainingTimeReadsMinutesAndSeconds_data()
    {
        QTest::addColumn<qint64>("msec");
        QTest::addColumn<QString>("text");
        QTest::newRow("part of a second counts whole") << qint64(1) << u"0:01"_s;
        QTest::newRow("just over a second") << qint64(1001) << u"0:02"_s;
        QTest::newRow("over a minute") << qint64(61000) << u"1:01"_s;
        QTest::newRow("two hours stay minutes") << qint64(120 * 60000) << u"120:00"_s;
    }

    void remainingTimeReadsMinutesAndSeconds()
    {
        QFETCH(qint64, msec);
        QFETCH(QString, text);
        QCOMPARE(ReceiveTimer::FormatRemaining(msec), text);
    }

    void theNextTurnCountsFromTheEndOfARun_data()
    {
        QTest::addColumn<bool>("turnStartsTheRun");
        QTest::addColumn<int>("turnsDuringTheRun");
        QTest::newRow("the turn's own run") << true << 1;
        QTest::newRow("another run: the turn is skipped") << false << 0;
    }

    // The run holds the count; the next turn comes a whole interval after its end.
    void theNextTurnCountsFromTheEndOfARun()
    {
        QFETCH(bool, turnStartsTheRun);
        QFETCH(int, turnsDuringTheRun);
        connect(m_timer.get(), &ReceiveTimer::Due, this, [this] { m_running = true; });
        m_timer->Start(10);
        m_running = !turnStartsTheRun;
        pass(600 + 900);
        QCOMPARE(m_due->count(), turnsDuringTheRun);
        QCOMPARE(m_timer->RemainingText(), u"10:00"_s);
        m_running = false;
        m_timer->RunEnded();
        pass(599);
        QCOMPARE(m_due->count(), turnsDuringTheRun);
        pass(1);
        QCOMPARE(m_due->count(), turnsDuringTheRun + 1);
    }

    void aRunEndingMidCountChangesNothing()
    {
        m_timer->Start(10);
        pass(100);
        m_timer->RunEnded();
        QCOMPARE(m_timer->RemainingText(), u"8:20"_s);
    }

    void stoppedReadsEmptyAndNeverFalls()
    {
        m_timer->Start(10);
        pass(5);
        m_timer->Stop();
        QCOMPARE(m_timer->RemainingText(), QString());
        pass(600);
        QCOMPARE(m_due->count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestReceiveTimer)
#include "tst_receivetimer.moc"
