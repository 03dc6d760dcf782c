#include "viewer/CTray.h"
#include "viewer/TrayController.h"
#include "viewer/WindowTest.h"

using namespace Qt::StringLiterals;

/** The main window over a program folder with boards 3, 16 and 4 listed, and its tray icon. */
class TestTray : public WindowTest
{
    Q_OBJECT

    ManualOneShotTimer m_blinkTimer;

    bool start(const QByteArray &options, bool trayAvailable = true)
    {
        CTray::setAvailabilityHandler([trayAvailable] { return trayAvailable; });
        prepareHome("[Option]\r\nBBS_ID=3\r\n" + options);
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID NOT IN (3, 4, 16)"_s);
        if (!startWindow())
            return false;
        m_window->TrayIcon().SetBlinkTimer(&m_blinkTimer);
        return true;
    }

    /** The animation frame (1 to 4) that @p icon shows, 0 for any other picture. */
    static int frameOf(const QIcon &icon)
    {
        const QImage shown = icon.pixmap(16, 16).toImage();
        for (int frame = 1; frame <= 4; ++frame)
            if (shown == QIcon(u":/images/SMALLICON%1.svg"_s.arg(frame)).pixmap(16, 16).toImage())
                return frame;
        return 0;
    }
    int windowFrame() const { return frameOf(m_window->windowIcon()); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void cleanup()
    {
        closeWindow();
        m_blinkTimer.Stop();
        CTray::setAvailabilityHandler({});
    }

    void twoRunsAnimateFromFrameOneAndRestOnFour()
    {
        QVERIFY(start("BlinkIcon=1\r\n"));
        m_window->SetBlinking(true);
        QCOMPARE(windowFrame(), 1);
        for (int frame : {2, 3, 4, 1}) {
            m_blinkTimer.Advance(1000);
            QCOMPARE(windowFrame(), frame);
        }
        m_window->SetBlinking(false);
        QCOMPARE(windowFrame(), 4);
        QCOMPARE(frameOf(m_window->TrayIcon().Tray().Icon()), 4);
        m_window->SetBlinking(true);
        QCOMPARE(windowFrame(), 1);
    }

    void minimisingHidesOnlyIntoATrayThatIsThere_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("both options") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=1\r\n") << true << true;
        QTest::newRow("icon only") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=0\r\n") << true << false;
        QTest::newRow("hiding only") << QByteArray("AddTaskTray=0\r\nHideAtMinimazed=1\r\n") << true << false;
        QTest::newRow("no notification area") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=1\r\n") << false << false;
    }

    void minimisingHidesOnlyIntoATrayThatIsThere()
    {
        QFETCH(QByteArray, options);
        QFETCH(bool, trayAvailable);
        QFETCH(bool, hidden);
        QVERIFY(start(options, trayAvailable));
        m_window->showMinimized();
        QCoreApplication::processEvents();
        QCOMPARE(m_window->isHidden(), hidden);
    }

};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
