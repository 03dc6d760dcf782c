#include "app/CIniFile.h"
#include "app/mdlExecuteLite.h"
#include "cookies/CookieStore.h"
#include "db/CBBSProperty.h"
#include "support/BoardSimulator.h"
#include "support/LogFormat.h"
#include "startup/ReceiveTimer.h"
#include "transfer/LoadRun.h"
#include "viewer/BoardView.h"
#include "viewer/CTray.h"
#include "viewer/TrayController.h"
#include "viewer/WindowTest.h"
#include "viewer/frmLoadDlg.h"

#include <QCheckBox>
#include <QDialog>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

/**
 * The main window's runs against boards 4, 5 and 6 served by the board simulator; only those
 * three are listed and visited. Board 4 is shown.
 */
class TestRuns : public WindowTest
{
    Q_OBJECT

    std::unique_ptr<CookieStore> m_cookies;
    std::unique_ptr<BoardSimulator> m_sim;
    QHash<int, int> m_simBoard;
    ManualOneShotTimer m_tick; // the timed receiving's time
    qint64 m_now = 0;
    QStringList m_notifications;

    static QString script(int board) { return u"/cgi-bin/b%1.cgi"_s.arg(board); }

    void placeBoards()
    {
        m_sim = std::make_unique<BoardSimulator>();
        QVERIFY(m_sim->listen());
        sql(u"UPDATE BBS SET ListOrder = -1, VisitLoad = False WHERE BBS_ID < 4 OR BBS_ID > 6"_s);
        for (int board : {4, 5, 6}) {
            m_simBoard.insert(board, m_sim->addBoard(0, script(board)));
            sql(u"UPDATE BBS SET URL = '%1' WHERE BBS_ID = %2"_s.arg(m_sim->url(m_simBoard.value(board))).arg(board));
        }
    }

    void addMessages(int board, int first, int last) { m_sim->addSampleMessages(m_simBoard.value(board), first, last); }

    int storedCount(int board)
    {
        const auto rs = gDB->OpenRecordset(u"SELECT COUNT(*) FROM Message WHERE BBS_ID = %1"_s.arg(board));
        return rs ? rs->Value(0).toInt() : -1;
    }

    /** A log page of @p board (not the page a board tab shows). */
    static bool isLogRequest(const BoardSimulator::Request &r, int board)
    {
        return r.path == script(board).toLatin1() && r.query.contains("dousa=log");
    }

    /** Runs @p action once, at the first log request for @p board (a page in flight). */
    void onRequest(int board, std::function<void()> action)
    {
        auto pending = std::make_shared<std::function<void()>>(std::move(action));
        connect(m_sim.get(), &BoardSimulator::requestReceived, this, [board, pending](const BoardSimulator::Request &r) {
            if (*pending && isLogRequest(r, board))
                std::exchange(*pending, {})();
        });
    }

    static int pendingRows() { return gDB->QueryNative(u"SELECT count(*) FROM MSysMessageTextPending"_s)->Value(0, 0).toInt(); }

    QString status() const { return child<QLabel>(u"StatusBar.Status"_s)->text(); }
    QString timerPanel() const { return child<QLabel>(u"StatusBar.Timer"_s)->text(); }

    /** The window with a tray whose notifications the test sees, and timed receiving on its time. */
    bool startTimedWindow(bool trayAvailable = true)
    {
        CTray::setAvailabilityHandler([trayAvailable] { return trayAvailable; });
        CTray::setMessageHandler([this](const QString &, const QString &text) { m_notifications << text; });
        if (!startWindow())
            return false;
        m_window->TimedReceiving().SetTime(&m_tick, [this] { return m_now; });
        return true;
    }

    void passSeconds(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            m_now += 1000;
            m_tick.Advance(1000);
        }
    }

    /** Runs command @p command and waits for the run it starts, if any, to end. */
    void runCommand(frmView::RunCommandIndex command)
    {
        m_window->RunCommand(command);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
    }

    QString writeLog(const QString &name, int first, int last)
    {
        const QString path = m_home->filePath(name);
        writeFile(path, LogFormat::sampleLog(first, last));
        return path;
    }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=4\r\nAddMax=100\r\n");
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
        placeBoards();
    }

    void cleanup()
    {
        m_prompter.setEcho({});
        closeWindow();
        m_sim.reset();
        m_simBoard.clear();
        setCookieStore(nullptr);
        mdlExecuteLite::setShellOpenHandler({});
        CTray::setAvailabilityHandler({});
        CTray::setMessageHandler({});
        m_notifications.clear();
        m_tick.Stop();
        m_now = 0;
    }

    void timerCommandTurnsTimedReceivingOnAndOff_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("menu") << u"mnuToolTimer"_s;
        QTest::newRow("toolbar") << u"Toolbar.Timer"_s;
    }

    void timerCommandTurnsTimedReceivingOnAndOff()
    {
        QFETCH(QString, command);
        QVERIFY(startTimedWindow());
        QCOMPARE(timerPanel(), QString());
        child<QAction>(command)->trigger();
        QVERIFY(mdlOption::Timer);
        QVERIFY(child<QAction>(u"mnuToolTimer"_s)->isChecked());
        QVERIFY(child<QAction>(u"Toolbar.Timer"_s)->isChecked());
        passSeconds(61);
        QCOMPARE(timerPanel(), u"28:59"_s);
        child<QAction>(command)->trigger();
        QVERIFY(!mdlOption::Timer);
        QVERIFY(!child<QAction>(u"mnuToolTimer"_s)->isChecked());
        QCOMPARE(timerPanel(), QString());
    }

    void aTimedTurnReceivesWithoutTakingTheKeyboard_data()
    {
        QTest::addColumn<bool>("windowShown");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("dialogKept");
        QTest::newRow("window shown") << true << false << true;
        QTest::newRow("window hidden") << false << false << false;
        QTest::newRow("window hidden, the board fails") << false << true << true;
    }

    // The dialog opens without activation, or not at all while the window is hidden: then it
    // stays, to be shown with the window, only to tell of a failure. The next turn counts from
    // the end of the run.
    void aTimedTurnReceivesWithoutTakingTheKeyboard()
    {
        QFETCH(bool, windowShown);
        QFETCH(bool, fails);
        QFETCH(bool, dialogKept);
        addMessages(4, 1, 3);
        if (fails)
            m_sim->setFault(BoardSimulator::Fault{}); // every page answers 500
        QVERIFY(startTimedWindow());
        m_window->setVisible(windowShown);
        child<QAction>(u"mnuToolTimer"_s)->trigger();
        passSeconds(30 * 60);
        QVERIFY(m_window->IsRunning());
        QCOMPARE(m_window->LoadDialog()->isVisible(), windowShown);
        QVERIFY(m_window->LoadDialog()->testAttribute(Qt::WA_ShowWithoutActivating));
        passSeconds(60); // the run holds the count
        QCOMPARE(timerPanel(), u"30:00"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
        QCOMPARE(storedCount(4), fails ? 0 : 3);
        QCOMPARE(m_prompter.records().size(), 0);
        QCOMPARE(m_window->LoadDialog() != nullptr, dialogKept);
        passSeconds(1);
        QCOMPARE(timerPanel(), u"29:59"_s);
        if (!dialogKept)
            return;
        m_window->TrayIcon().RestoreMainWindow();
        QVERIFY(m_window->LoadDialog()->isVisible());
    }

    void aTimedTurnUnderAModalDialogIsSkipped()
    {
        QVERIFY(startTimedWindow());
        child<QAction>(u"mnuToolTimer"_s)->trigger();
        QDialog options(m_window.get());
        options.setModal(true);
        options.show();
        passSeconds(30 * 60);
        QVERIFY(!m_window->IsRunning());
        QCOMPARE(timerPanel(), u"30:00"_s);
    }

    void aTimedTurnWithoutBoardsSaysSoInTheStatusBar()
    {
        sql(u"UPDATE BBS SET VisitLoad = False"_s);
        QVERIFY(startTimedWindow());
        child<QAction>(u"mnuToolTimer"_s)->trigger();
        passSeconds(30 * 60);
        QVERIFY(!m_window->IsRunning());
        QCOMPARE(status(), LoadRun::NoBoardsText());
        QCOMPARE(m_prompter.records().size(), 0);
        QCOMPARE(timerPanel(), u"30:00"_s);
    }

    void notificationNamesUpToThreeBoards()
    {
        const QList<std::pair<int, int>> counts{{5, 2}, {4, 1}, {6, 3}, {7, 4}};
        const QString text = TrayController::NotificationText(counts, [](int id) { return u"板%2の%1"_s.arg(id); });
        QCOMPARE(text, u"10件の新着メッセージ\n板%2の5 (2件)\n板%2の4 (1件)\n板%2の6 (3件)"_s);
    }

    void aReceiveNotifiesOnlyAWindowAway_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("notify");
        QTest::addColumn<Qt::WindowState>("state");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<bool>("notified");
        QTest::newRow("hidden in the tray") << true << true << Qt::WindowNoState << true << true;
        QTest::newRow("minimised") << true << true << Qt::WindowMinimized << false << true;
        QTest::newRow("shown") << true << true << Qt::WindowNoState << false << false;
        QTest::newRow("option off") << true << false << Qt::WindowNoState << true << false;
        QTest::newRow("no tray") << false << true << Qt::WindowNoState << true << false;
    }

    void aReceiveNotifiesOnlyAWindowAway()
    {
        QFETCH(bool, trayAvailable);
        QFETCH(bool, notify);
        QFETCH(Qt::WindowState, state);
        QFETCH(bool, hidden);
        QFETCH(bool, notified);
        addMessages(5, 1, 2);
        addMessages(6, 1, 3);
        QVERIFY(startTimedWindow(trayAvailable));
        mdlOption::NotifyNewMessages = notify;
        m_window->setWindowState(state);
        m_window->setHidden(hidden);
        runCommand(frmView::VisitLoadCommand);
        QCOMPARE(storedCount(6), 3);
        QCOMPARE(m_notifications.size(), notified ? 1 : 0);
        if (!notified)
            return;
        QCOMPARE(m_notifications.first(), u"5件の新着メッセージ\n質問掲示板 (2件)\n情報交換掲示板 (3件)"_s);
        // A click on the notification shows the first board with news.
        emit m_window->TrayIcon().Tray().MessageClicked();
        QVERIFY(m_window->isVisible());
        QCOMPARE(mdlOption::BBS_ID, 5);
        QCOMPARE(list(0).rowCount(), 2);
    }

    void aCancelledBoardAsksWhetherToGoOn_data()
    {
        QTest::addColumn<Prompter::Button>("answer");
        QTest::addColumn<int>("storedLast"); // of board 6, the one after the cancelled board
        QTest::addColumn<bool>("dialogKept");
        QTest::addColumn<QString>("said");
        QTest::newRow("declined: the run stops there") << Prompter::No << 0 << false << u"処理は中断されました。"_s;
        QTest::newRow("confirmed") << Prompter::Yes << 3 << true << u"情報交換掲示板で3件受信しました。"_s;
    }

    // The dialog is closed while board 5's page is still coming. While the question is open the
    // cancelled board ends but the next one does not start.
    void aCancelledBoardAsksWhetherToGoOn()
    {
        QFETCH(Prompter::Button, answer);
        for (int board : {4, 5, 6})
            addMessages(board, 1, 3);
        QVERIFY(startWindow());
        m_prompter.pushAnswer(answer);
        bool nextStartedWhileAsking = true;
        m_prompter.setEcho([this, &nextStartedWhileAsking](const ScriptedPrompter::Record &) {
            QTRY_COMPARE(status(), u"処理は中断されました。"_s);
            for (int turn = 0; turn < 3; ++turn)
                QCoreApplication::processEvents();
            nextStartedWhileAsking = m_window->LoadDialog()->View(u"#006"_s) != nullptr;
        });
        onRequest(5, [this] {
            m_sim->setFault({.kind = BoardSimulator::FaultKind::Trickle, .delayMs = 50}, 0, 1);
            QTimer::singleShot(0, m_window->LoadDialog(), [this] { m_window->LoadDialog()->close(); });
        });
        runCommand(frmView::VisitLoadCommand);
        QCOMPARE(m_prompter.texts(), QStringList{u"継続して次の掲示板から受信しますか？"_s});
        QVERIFY(!nextStartedWhileAsking);
        QCOMPARE(storedCount(4), 3);
        QTEST(storedCount(6), "storedLast");
        QTEST(m_window->LoadDialog() != nullptr, "dialogKept");
        QTEST(status(), "said");
    }

    // The modal options dialog opened during a receive: the receive ends while it is open.
    void optionsDialogDuringAReceive()
    {
        addMessages(4, 1, 3);
        QVERIFY(startWindow());
        onRequest(4, [this] { QTimer::singleShot(0, child<QAction>(u"Toolbar.Option"_s), &QAction::trigger); });
        bool endedWhileOpen = false;
        const auto closeOptions = [] {
            if (QWidget *dialog = QApplication::activeModalWidget(); dialog && dialog->objectName() == u"frmProperty"_s)
                dialog->close();
        };
        connect(m_window.get(), &frmView::RunFinished, this, [&] {
            const QWidget *dialog = QApplication::activeModalWidget();
            endedWhileOpen = dialog && dialog->objectName() == u"frmProperty"_s;
            closeOptions();
        });
        QTimer giveUp; // a run that waits for the dialog would wait for ever
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, this, closeOptions);
        giveUp.start(20000);
        runCommand(frmView::LoadCommand);
        QVERIFY(endedWhileOpen);
        QCOMPARE(storedCount(4), 3);
    }

    void commandsDuringRuns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("duringLoad");
        QTest::addColumn<bool>("duringImport");
        for (const QString &name :
             {u"Toolbar.Load"_s, u"Toolbar.VisitLoad"_s, u"Toolbar.SQL"_s, u"mnuFileImport"_s, u"mnuBBSLoad"_s,
              u"mnuBBSAllLoad"_s, u"mnuBBSVisitLoad"_s, u"mnuBBSAllVisitLoad"_s, u"mnuBBSViewSub(0)"_s,
              u"mnuBBSViewSub(1)"_s, u"mnuBBSViewSub(2)"_s, u"mnuBBSViewSub(3)"_s, u"mnuBBSViewSub(4)"_s,
              u"mnuBBSSetNoRead"_s, u"mnuBBSProperty"_s, u"mnuMsgQuery"_s, u"mnuToolCompDB"_s, u"mnuTrayLoad"_s,
              u"mnuTrayVisitLoad"_s,
              // the same commands as page items, and queries that go through the transfer control
              u"Toolbar.Back"_s, u"Toolbar.Forword"_s, u"mnuMsgRelate"_s, u"mnuPopupRelate"_s, u"mnuTextFind"_s,
              u"mnuTextRelate"_s})
            QTest::newRow(qPrintable(name)) << name << false << false;
        // An import does not list what it stores, and may store a deleted message again.
        QTest::newRow("mnuMsgDelete") << u"mnuMsgDelete"_s << true << false;
        QTest::newRow("mnuPopupDelete") << u"mnuPopupDelete"_s << true << false;
        // Reading, marking, moving and the options (a run takes its options when it starts).
        for (const QString &name : {u"Toolbar.Option"_s, u"mnuToolOption"_s, u"mnuMsgMark"_s, u"mnuMsgNoRead"_s,
                                    u"mnuMoveNextNoRead"_s, u"mnuBBSMove"_s, u"mnuBBSNew"_s, u"mnuFileExit"_s})
            QTest::newRow(qPrintable(name)) << name << true << true;
    }

    // Board 4 shows its middle page of 100 with a read message selected, so every command is
    // enabled while idle; a load and an import each disable what the table says.
    void commandsDuringRuns()
    {
        QFETCH(QString, name);
        storeBoard(4, 250);
        sql(u"UPDATE Message SET Read = True"_s);
        const QString file = writeLog(u"a.log"_s, 300, 302);
        QVERIFY(startWindow());
        QVERIFY(m_window->ShowView(OlderView));
        m_window->ShowMessage(0, 0, false);
        m_window->UpdateMessageMenu();
        const QAction *command = child<QAction>(name);
        QVERIFY(command);
        QVERIFY(command->isEnabled());

        m_window->RunCommand(frmView::LoadCommand);
        QCOMPARE(m_window->CurrentRun(), frmView::RunState::Loading);
        QTEST(command->isEnabled(), "duringLoad");
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
        QVERIFY(command->isEnabled());

        m_dialogs.openFiles = [&file](const QString &) { return QStringList{file}; };
        m_prompter.pushAnswer(Prompter::Yes);
        m_window->RunCommand(frmView::ImportFileCommand);
        QCOMPARE(m_window->CurrentRun(), frmView::RunState::Importing);
        QTEST(command->isEnabled(), "duringImport");
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
        QVERIFY(command->isEnabled());
    }

    void receivedRowsGoOnlyToThePageOfTheNewest_data()
    {
        QTest::addColumn<QList<ViewType>>("pages");
        QTest::addColumn<int>("rows");
        QTest::newRow("latest") << QList<ViewType>{} << 103;
        QTest::newRow("older page") << QList<ViewType>{OlderView} << 50;
        QTest::newRow("newer page back at the newest") << QList<ViewType>{OlderView, NewerView} << 103;
    }

    // Board 4 holds 150 messages and receives 3 more while the pages given are shown.
    void receivedRowsGoOnlyToThePageOfTheNewest()
    {
        QFETCH(QList<ViewType>, pages);
        storeBoard(4, 150);
        addMessages(4, 151, 153);
        QVERIFY(startWindow());
        for (ViewType page : pages)
            QVERIFY(m_window->ShowView(page));
        runCommand(frmView::LoadCommand);
        QCOMPARE(storedCount(4), 153);
        QTEST(list(0).rowCount(), "rows");
    }

    // A visit load over two boards and a second load: the caption says so while each runs, the
    // rows and counts of several pages are listed once, the dialog names the boards and keeps its
    // place, and at the end every command has its own state back.
    void loadsListCountAndShowTheirProgress()
    {
        addMessages(4, 1, 70);
        addMessages(5, 1, 3);
        sql(u"UPDATE BBS SET ShortName = 'Q&A' WHERE BBS_ID = 4"_s);
        QVERIFY(startWindow());
        mdlOption::AutoCloseImportDialog = true; // closes after imports only
        mdlOption::SaveLoadDialogPosition = true;
        const QString caption = u"雑談掲示板 - Tessera Ver.0.61"_s;
        m_window->RunCommand(frmView::VisitLoadCommand);
        QCOMPARE(m_window->windowTitle(), u"受信中 - "_s + caption);
        auto *button = m_window->LoadDialog()->findChild<QPushButton *>(u"cmdOK"_s);
        QCOMPARE(accessibleName(button), u"キャンセル"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
        QCOMPARE(m_window->windowTitle(), caption);
        QCOMPARE(status(), u"情報交換掲示板に新規投稿はありませんでした。"_s);
        QCOMPARE(accessibleName(button), u"OK"_s);
        QCOMPARE(list(0).rowCount(), 70);
        QStringList items;
        for (const QAction *item : child<QMenu>(u"mnuBBSMove"_s)->actions())
            items << item->text();
        QVERIFY(items.contains(u"&1. 雑談掲示板 (70)"_s));
        QVERIFY(items.contains(u"&2. 質問掲示板 (3)"_s));
        QVERIFY(!child<QAction>(u"mnuBBSViewSub(1)"_s)->isEnabled()); // the latest page: none is newer
        // Repaints held during the run resume.
        QVERIFY(m_window->lsvMsgList(0)->updatesEnabled());
        QVERIFY(m_window->statusBar()->updatesEnabled());

        frmLoadDlg *dialog = m_window->LoadDialog();
        QVERIFY(dialog);
        auto *tabs = dialog->findChild<QTabWidget *>(u"tabBBS"_s);
        const int tab = tabs->indexOf(dialog->View(u"#004"_s));
        QCOMPARE(tabs->tabText(tab), u"Q&&A"_s);
        QCOMPARE(tabs->tabToolTip(tab), u"雑談掲示板"_s);
        auto *info = dialog->findChild<QLabel *>(u"lblInfo"_s);
        QTRY_COMPARE(info->text().count(u'\n'), 3);
        QCOMPARE(info->text().section(u'\n', 0, 0), u"受信を終了しました。"_s);
        QCOMPARE(accessibleName(info), info->text());
        dialog->setGeometry(40, 50, 500, 300);
        dialog->close();
        gIniFile->setNowSection(u"LoadDialogPosition"_s);
        QCOMPARE(gIniFile->Data(u"Width"_s), u"7500"_s); // in twips

        m_window->RunCommand(frmView::LoadCommand);
        QCOMPARE(m_window->windowTitle(), u"受信中 - "_s + caption);
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->IsRunning(), 30000);
        QCOMPARE(m_window->windowTitle(), caption);
        QCOMPARE(status(), u"雑談掲示板に新規投稿はありませんでした。"_s);
        QCOMPARE(m_window->LoadDialog()->geometry(), QRect(40, 50, 500, 300));
    }

    // Board 5's log answers 404 while its page comes slowly: its cache line still follows its
    // outcome before board 6 starts, the run ends with its failure, and its tab shows a warning.
    void visitLogKeepsEachBoardsLinesTogether()
    {
        for (int board : {4, 5, 6})
            addMessages(board, 1, 3);
        QVERIFY(startWindow());
        connect(m_sim.get(), &BoardSimulator::requestReceived, this, [this](const BoardSimulator::Request &r) {
            BoardSimulator::Fault fault;
            if (r.path == script(5).toLatin1() && r.query.isEmpty())
                fault = {.kind = BoardSimulator::FaultKind::SlowBody, .chunkBytes = 128};
            else if (isLogRequest(r, 5))
                fault = {.kind = BoardSimulator::FaultKind::Status, .status = 404};
            else
                return;
            m_sim->setFault(fault, 0, 1);
        });
        runCommand(frmView::VisitLoadCommand);
        const QStringList lines = m_window->LoadDialog()->LogText().split(u"\r\n"_s, Qt::SkipEmptyParts);
        const QString failed = u"質問掲示板から受信できませんでした。"_s;
        QCOMPARE(lines.indexOf(u"質問掲示板をキャッシュに保存しました。"_s), lines.indexOf(failed) + 1);
        QCOMPARE(lines.last(), failed + u" Error:HTTP/1.1 404 Not Found"_s);
        auto *tabs = m_window->LoadDialog()->findChild<QTabWidget *>(u"tabBBS"_s);
        QVERIFY(!tabs->tabIcon(tabs->indexOf(m_window->LoadDialog()->View(u"#005"_s))).isNull());
        QVERIFY(tabs->tabIcon(tabs->indexOf(m_window->LoadDialog()->View(u"#006"_s))).isNull());
    }

    void pageBarCountsTheBoardsPages_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("asked"); // pages the bar counts to while loading; 0: busy
        QTest::newRow("unread: the board decides") << int(frmView::LoadCommand) << 0;
        QTest::newRow("all: MaxCount in pages") << int(frmView::LoadAllCommand) << 5;
    }

    // Board 4 gives its 70 messages 20 to a page: the bar ends at page 4 of 4.
    void pageBarCountsTheBoardsPages()
    {
        QFETCH(int, command);
        sql(u"UPDATE BBS SET MaxCount = 100 WHERE BBS_ID = 4"_s);
        CBBSProperty board;
        QVERIFY(board.GetProperty(4, *m_db));
        board.SetDownloadCount(20);
        addMessages(4, 1, 70);
        QVERIFY(startWindow());
        int asked = -1;
        onRequest(4, [&] { asked = m_window->LoadDialog()->findChild<QProgressBar *>(u"prgPages"_s)->maximum(); });
        runCommand(frmView::RunCommandIndex(command));
        QTEST(asked, "asked");
        auto *bar = m_window->LoadDialog()->findChild<QProgressBar *>(u"prgPages"_s);
        QCOMPARE(bar->maximum(), 4);
        QCOMPARE(bar->value(), 4);
    }

    // A status line too long for the dialog wraps, and the status area grows to show all of it.
    void longStatusLinesWrap()
    {
        QVERIFY(startWindow());
        const QString missing = m_home->filePath(u"どこにもないログファイル.log"_s);
        m_dialogs.openFiles = [&missing](const QString &) { return QStringList{missing}; };
        m_prompter.pushAnswer(Prompter::Yes);
        runCommand(frmView::ImportFileCommand);
        m_window->LoadDialog()->resize(320, 300);
        auto *info = m_window->LoadDialog()->findChild<QLabel *>(u"lblInfo"_s);
        QTRY_VERIFY(info->height() > info->minimumHeight());
        QVERIFY(info->height() >= info->heightForWidth(info->width()));
    }

    // The dialog closes after an import when the option says so (a declined import stores
    // nothing: tst_cli's importFiles).
    void importOfTwoFilesAddsUpTheirMessages()
    {
        const QStringList files{writeLog(u"a.log"_s, 1, 5), writeLog(u"b.log"_s, 6, 8)};
        store({message(4, 10), message(4, 11)});
        QVERIFY(startWindow());
        m_window->ShowMessage(0, 1, false); // message 10
        QString filter;
        m_dialogs.openFiles = [&](const QString &f) {
            filter = f;
            return files;
        };
        mdlOption::AutoCloseImportDialog = true;
        m_prompter.pushAnswer(Prompter::Yes);
        runCommand(frmView::ImportFileCommand);
        QCOMPARE(m_prompter.records().size(), 1);
        QCOMPARE(m_prompter.records().first().text.section(u"\r\n"_s, 0, 0), u"雑談掲示板に下記のファイルをインポートします。"_s);
        QCOMPARE(filter.section(u'|', 0, 1), u"雑談掲示板用ログファイル(zatsudan*)|zatsudan*"_s);
        QCOMPARE(storedCount(4), 10);
        QCOMPARE(list(0).rowCount(), 10); // the shown board lists them at once
        QCOMPARE(list(0).SelectedRows(), QList<int>{1}); // message 10 stays selected
        QCOMPARE(status(), u"8件インポートしました。"_s);
        QVERIFY(!m_window->LoadDialog());
        // The rows stored before the window and the imported ones get indexed while it idles.
        QTRY_COMPARE(pendingRows(), 0);
    }

    // Off at the start, the index is dropped; turned back on, it is made anew, and its many
    // pending rows show their progress; cancel stops the batches and leaves the rest pending.
    void indexTurnedBackOnShowsItsProgressAndCancelStopsIt()
    {
        storeBoard(5, 12000);
        writeFile(mdlMain::SettingsFilePath(), "[Option]\r\nBBS_ID=4\r\nUseTextIndex=False\r\n");
        QVERIFY(startWindow());
        QTimer::singleShot(0, this, [this] {
            QWidget *options = QApplication::activeModalWidget();
            options->findChild<QCheckBox *>(u"chkUseTextIndex"_s)->click();
            options->findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        child<QAction>(u"mnuToolOption"_s)->trigger();
        QPointer<QProgressDialog> dialog = m_window->findChild<QProgressDialog *>(u"dlgTextIndex"_s);
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QString shown;
        connect(dialog->findChild<QProgressBar *>(), &QProgressBar::valueChanged, this, [&](int value) {
            shown = dialog->labelText();
            if (value > 0)
                QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        });
        QTRY_VERIFY(!dialog);
        QCOMPARE(shown, u"全文検索の索引を作成しています... 5000 / 12000"_s);
        QCOMPARE(pendingRows(), 7000);
    }

    // Rows another process stores while the window idles get indexed at the next check, which
    // waits while a modal dialog is open.
    void rowsStoredMeanwhileGetIndexedAtTheIdleCheck()
    {
        QVERIFY(startWindow());
        m_db = Database::Open(mdlMain::LogDatabasePath());
        storeBoard(5, 3);
        auto *check = child<QTimer>(u"TextIndexIdleCheck"_s);
        QDialog modal(m_window.get());
        modal.open();
        QMetaObject::invokeMethod(check, "timeout");
        QTest::qWait(0);
        QCOMPARE(pendingRows(), 3);
        modal.close();
        QMetaObject::invokeMethod(check, "timeout");
        QTRY_COMPARE(pendingRows(), 0);
    }

    // The command proposes the board's log file name and writes the shown board's messages, or
    // the rows of list 1; the progress dialog's cancel leaves no file.
    void exportWritesTheShownMessages_data()
    {
        QTest::addColumn<QString>("results"); // the statement list 1 shows; none: list 0 is shown
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("said");
        QTest::newRow("board") << QString() << false << u"5件エクスポートしました。"_s;
        QTest::newRow("cancelled") << QString() << true << u"処理は中断されました。"_s;
        QTest::newRow("results list") << u"SELECT * FROM Message WHERE ID <= 2"_s << false << u"2件エクスポートしました。"_s;
    }

    void exportWritesTheShownMessages()
    {
        QFETCH(QString, results);
        QFETCH(bool, cancel);
        QFETCH(QString, said);
        storeBoard(4, 5);
        QVERIFY(startWindow());
        if (!results.isEmpty())
            QVERIFY(m_window->ShowSQLResult(results, 1));
        const QString path = m_home->filePath(u"export.log"_s);
        QString proposed;
        m_dialogs.saveFile = [&](const QString &name) {
            proposed = name;
            return path;
        };
        m_window->RunCommand(frmView::ExportCommand);
        if (cancel)
            QTest::mouseClick(child<QProgressDialog>(u"dlgExport"_s)->findChild<QPushButton *>(), Qt::LeftButton);
        QTRY_VERIFY(status().startsWith(said));
        QCOMPARE(proposed, u"zatsudan"_s + QDate::currentDate().toString(u"yyyyMMdd"_s) + u".log"_s);
        QCOMPARE(QFile::exists(path), !cancel);
    }

    void exportOfOtherRowsSaysSo()
    {
        QVERIFY(startWindow());
        QVERIFY(m_window->ShowSQLResult(u"SELECT BBS_ID FROM BBS"_s, 1));
        m_window->RunCommand(frmView::ExportCommand);
        QCOMPARE(m_prompter.texts(), QStringList{u"エクスポートするメッセージがありません。"_s});
    }

    void closingTheWindowDuringARunUnloadsAfterIt()
    {
        CBBSProperty board;
        QVERIFY(board.GetProperty(4, *m_db));
        board.SetDownloadCount(10);
        addMessages(4, 1, 25);
        addMessages(5, 1, 3);
        QVERIFY(startWindow());
        connect(m_sim.get(), &BoardSimulator::requestReceived, this, [this](const BoardSimulator::Request &r) {
            if (!r.query.contains("logno=1"))
                return;
            // the second page of the first board never ends
            m_sim->setFault({.kind = BoardSimulator::FaultKind::Trickle, .delayMs = 20}, 0, 1);
            QTimer::singleShot(100, m_window.get(), &QWidget::close);
        });
        runCommand(frmView::VisitLoadCommand);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!gDB);
        QVERIFY(readFile(mdlMain::SettingsFilePath()).contains("[Position]"));
        QCOMPARE(sqliteTool(mdlMain::LogDatabasePath(), u"SELECT COUNT(*) FROM Message WHERE BBS_ID = 4"_s), u"10"_s);
        QCOMPARE(sqliteTool(mdlMain::LogDatabasePath(), u"SELECT COUNT(*) FROM Message WHERE BBS_ID = 5"_s), u"0"_s);
    }

    void replyGoesToTheSelectedMessageOnly()
    {
        store({message(5, 7)});
        QVERIFY(startWindow());
        QList<QUrl> opened;
        mdlExecuteLite::setShellOpenHandler([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        runCommand(frmView::ReplyCommand); // nothing selected: nothing to answer
        QVERIFY(opened.isEmpty());
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 5"_s, 1));
        m_window->ShowMessage(1, 0, false);
        runCommand(frmView::ReplyCommand);
        QCOMPARE(opened.value(0).toString(), m_sim->url(m_simBoard.value(5)) + u"?dousa=res&resno=7"_s);
    }

};

QTEST_MAIN(TestRuns)
#include "tst_runs.moc"
