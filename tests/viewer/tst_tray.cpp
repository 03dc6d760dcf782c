#include "app/OneShotTimer.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "viewer/CTray.h"
#include "viewer/WindowTest.h"
#include "viewer/frmView.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

/** The main window over a program folder with boards 3, 16 and 4 listed, and its tray icon. */
class TestTray : public WindowTest
{
    Q_OBJECT

    ManualOneShotTimer m_blinkTimer;
    QStringList m_opened;

    /** Starts the window with @p options in section [Option] and a tray that is there or not. */
    bool start(const QByteArray &options, bool trayAvailable = true)
    {
        CTray::setAvailabilityHandler([trayAvailable] { return trayAvailable; });
        prepareHome("[Option]\r\nBBS_ID=3\r\n" + options);
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID NOT IN (3, 4, 16)"_s);
        if (!startWindow())
            return false;
        m_window->SetBlinkTimer(&m_blinkTimer);
        return true;
    }

    static QImage picture(const QIcon &icon) { return icon.pixmap(16, 16).toImage(); }

    /** The animation frame (1 to 4) the window shows, 0 for any other picture. */
    int windowFrame() const { return frameOf(m_window->windowIcon()); }
    int trayFrame() const { return frameOf(m_window->Tray().Icon()); }
    static int frameOf(const QIcon &icon)
    {
        for (int frame = 1; frame <= 4; ++frame)
            if (picture(icon) == picture(QIcon(u":/images/SMALLICON%1.svg"_s.arg(frame))))
                return frame;
        return 0;
    }

    void tick() { m_blinkTimer.Advance(1000); }

    QAction *item(const QString &name) const { return child<QAction>(name); }

    /** Minimises the window and lets the event loop run the reaction to it. */
    void minimise()
    {
        m_window->showMinimized();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        setPrompter(&m_prompter);
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened << url.toString();
            return true;
        });
    }

    void cleanup()
    {
        closeWindow();
        m_blinkTimer.Stop();
        CTray::setAvailabilityHandler({});
        m_opened.clear();
    }

    void animationRunsFramesInTurnAndRestsOnFour()
    {
        QVERIFY(start("BlinkIcon=1\r\n"));
        m_window->SetBlinking(true);
        QCOMPARE(windowFrame(), 1);
        tick();
        QCOMPARE(windowFrame(), 2);
        tick();
        QCOMPARE(windowFrame(), 3);
        tick();
        QCOMPARE(windowFrame(), 4);
        tick();
        QCOMPARE(windowFrame(), 1);
        QCOMPARE(trayFrame(), 1);
        m_window->SetBlinking(false);
        QCOMPARE(windowFrame(), 4);
        QCOMPARE(trayFrame(), 4);
        QVERIFY(!m_blinkTimer.IsActive());
    }

    void everyRunStartsAtFrameOne()
    {
        QVERIFY(start("BlinkIcon=1\r\n"));
        m_window->SetBlinking(true);
        tick();
        m_window->SetBlinking(false);
        m_window->SetBlinking(true);
        QCOMPARE(windowFrame(), 1);
    }

    void withoutBlinkIconNothingMoves()
    {
        QVERIFY(start("BlinkIcon=0\r\n"));
        m_window->SetBlinking(true);
        QVERIFY(!m_blinkTimer.IsActive());
        QCOMPARE(windowFrame(), 0);
    }

    void minimisingHidesOnlyIntoATrayThatIsThere_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("both options") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=1\r\n") << true << true;
        QTest::newRow("icon only") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=0\r\n") << true << false;
        QTest::newRow("hiding without icon") << QByteArray("AddTaskTray=0\r\nHideAtMinimazed=1\r\n") << true << false;
        QTest::newRow("no notification area") << QByteArray("AddTaskTray=1\r\nHideAtMinimazed=1\r\n") << false << false;
    }

    void minimisingHidesOnlyIntoATrayThatIsThere()
    {
        QFETCH(QByteArray, options);
        QFETCH(bool, trayAvailable);
        QFETCH(bool, hidden);
        QVERIFY(start(options, trayAvailable));
        minimise();
        QCOMPARE(m_window->isHidden(), hidden);
    }

    void doubleClickBringsTheHiddenWindowBack()
    {
        QVERIFY(start("AddTaskTray=1\r\nHideAtMinimazed=1\r\n"));
        minimise();
        QVERIFY(m_window->isHidden());
        emit m_window->Tray().DblClick();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
    }

    void iconFollowsAddTaskTray()
    {
        QVERIFY(start("AddTaskTray=1\r\n"));
        QVERIFY(m_window->Tray().Visible());
        mdlOption::AddTaskTray = false;
        m_window->UpdateTrayVisibility();
        QVERIFY(!m_window->Tray().Visible());
    }

    void tooltipIsCutAt63Characters()
    {
        CTray tray;
        tray.SetTooltipText(QString(70, u'あ'));
        QCOMPARE(tray.TooltipText(), QString(63, u'あ'));
    }

    void tooltipNeverEndsInHalfACharacter()
    {
        CTray tray;
        // U+20BB7 takes two UTF-16 units: the 63rd and 64th.
        tray.SetTooltipText(QString(62, u'a') + u"\U00020BB7"_s);
        QCOMPARE(tray.TooltipText(), QString(62, u'a'));
    }

    void addIconNeedsAPicture()
    {
        CTray::setAvailabilityHandler([] { return true; });
        CTray tray;
        QVERIFY(!tray.AddIcon(nullptr));
        QVERIFY(!tray.Visible());
    }

    void boardItemShowsThatBoard()
    {
        QVERIFY(start({}));
        QMenu *boards = child<QMenu>(u"mnuTrayBBS"_s);
        QCOMPARE(boards->actions().size(), child<QMenu>(u"mnuBBSMove"_s)->actions().size());
        QAction *board4 = boards->actions().at(3);
        QCOMPARE(board4->data().toInt(), 4);
        board4->trigger();
        QCOMPARE(mdlOption::BBS_ID, 4);
        QCOMPARE(m_window->CurrentBBSProperty().ID(), 4);
    }

    void newPostItemOpensThatBoardsForm()
    {
        QVERIFY(start({}));
        QMenu *newPost = child<QMenu>(u"mnuTrayNew"_s);
        QAction *board16 = newPost->actions().at(2);
        QCOMPARE(board16->data().toInt(), 16);
        board16->trigger();
        QCOMPARE(m_opened, QStringList{u"http://bbs.example.jp/cgi-bin/oshirase.cgi?dousa=sinki"_s});
    }

    void loadItemsAreDisabledDuringARun()
    {
        QVERIFY(start({}));
        m_window->ChangeMenuEnabled(true);
        QVERIFY(!item(u"mnuTrayLoad"_s)->isEnabled());
        QVERIFY(!item(u"mnuTrayVisitLoad"_s)->isEnabled());
        m_window->ChangeMenuEnabled(false);
        QVERIFY(item(u"mnuTrayLoad"_s)->isEnabled());
    }

    void exitClosesTheWindow()
    {
        QVERIFY(start({}));
        item(u"mnuTrayExit"_s)->trigger();
        QVERIFY(!m_window->isVisible());
    }

    void timerSaysItIsNotImplemented()
    {
        QVERIFY(start({}));
        m_prompter.clear();
        m_window->findChild<QAction *>(u"Toolbar.Timer"_s)->trigger();
        QCOMPARE(m_prompter.texts(), QStringList{u"未実装m(_ _)m"_s});
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
