#include "app/OneShotTimer.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "controls/uSpinButton.h"
#include "db/CBBSProperty.h"
#include "db/CookieStore.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "support/TestFiles.h"
#include "transfer/CBBS.h"
#include "viewer/frmView.h"
#include "viewer/models/mdlRead.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

/** The main window over a program folder with board 3 (and 4) filled; keys go to the window. */
class TestNavigation : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Database> m_db;
    ScriptedPrompter m_prompter;
    ManualOneShotTimer m_timer;
    std::unique_ptr<frmView> m_window;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;
    std::unique_ptr<CookieStore> m_cookies;

    void sql(const QString &statement) { QVERIFY2(m_db->Execute(statement), qPrintable(statement)); }

    static CMessage message(int board, int id, int inReplyTo = 0, const QString &body = u"本文"_s)
    {
        CMessage m;
        m.BBS_ID = board;
        m.ID = id;
        m.InReplyTo = inReplyTo;
        m.Subject = u"題名%1"_s.arg(id);
        m.PostName = u"投稿者"_s;
        m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0).addSecs(60 * id));
        m.Body = body;
        return m;
    }

    void store(const QList<CMessage> &messages)
    {
        CBBS cbbs;
        cbbs.Initialize(m_db.get());
        Transaction transaction(*m_db);
        for (const CMessage &m : messages)
            QCOMPARE(cbbs.SaveMessage(m), CBBS::Saved);
        QVERIFY(transaction.Commit());
    }

    void storeBoard(int board, int count)
    {
        QList<CMessage> messages;
        for (int id = 1; id <= count; ++id)
            messages.append(message(board, id));
        store(messages);
    }

    /** Starts the program with boards 3 and 4 listed; the list of board 3 has the focus. */
    bool start()
    {
        sql(u"UPDATE BBS SET ListOrder = -1"_s);
        sql(u"UPDATE BBS SET ListOrder = 0 WHERE BBS_ID = 3"_s);
        sql(u"UPDATE BBS SET ListOrder = 1 WHERE BBS_ID = 4"_s);
        m_db.reset();
        bool loaded = false;
        mdlMain::StartupHooks hooks;
        hooks.showMainWindow = [this, &loaded] {
            m_window = std::make_unique<frmView>(&m_timer);
            loaded = m_window->Form_Load();
            if (loaded)
                m_window->show();
        };
        if (!mdlMain::StartApplication(hooks) || !loaded)
            return false;
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            return false;
        m_window->lsvMsgList(0)->setFocus();
        return true;
    }

    template <typename T> T *child(const QString &name) const { return m_window->findChild<T *>(name); }
    MessageListModel &list(int index) { return m_window->Lists().lsvMsgList(index); }
    int shownRow() { return list(0).CurrentRow(); }
    bool isRead(int row) { return list(0).ReadText(row) == u" "_s; }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), mods);
    }
    QString firstBoardItem() const { return child<QMenu>(u"mnuBBSMove"_s)->actions().at(1)->text(); }
    QScrollBar *bodyBar() const { return child<QPlainTextEdit>(u"rtbView"_s)->verticalScrollBar(); }
    QLineEdit *editorText() const { return child<uSpinButton>(u"uspnNoReadPoint"_s)->findChild<QLineEdit *>(); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        m_options = std::make_unique<mdlOption::OptionsGuard>();
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("TESSERA_HOME", m_home->path().toLocal8Bit());
        for (const QString &folder : {u"image"_s, u"cache"_s, u"errorlog"_s})
            QDir(m_home->path()).mkpath(folder);
        m_db = mdlDatabase::CreateLogDatabase(mdlMain::LogDatabasePath());
        QVERIFY(m_db);
        m_prompter.clear();
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
        writeFile(mdlMain::SettingsFilePath(), "[Option]\r\nBBS_ID=3\r\nAddMax=100\r\nReadTiming=1000\r\n");
    }

    void cleanup()
    {
        if (m_window)
            m_window->close();
        m_window.reset();
        mdlMain::ShutdownApplication();
        m_db.reset();
        m_options.reset();
        setCookieStore(nullptr);
        m_cookies.reset();
    }

    void spacePagesALongUnreadBodyThenMovesOn()
    {
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines.append(u"長い本文の%1行目"_s.arg(i));
        store({message(3, 1), message(3, 2, 0, lines.join(u"\r\n"_s)), message(3, 3)});
        QVERIFY(start());
        // Row 0 (message 3) fits the pane: the first press marks it and goes on at once.
        key(Qt::Key_Space);
        QVERIFY(isRead(0));
        QCOMPARE(shownRow(), 1);
        QCOMPARE(bodyBar()->value(), 0);
        key(Qt::Key_Space);
        QCOMPARE(shownRow(), 1);
        QVERIFY(bodyBar()->value() > 0);
        QVERIFY(isRead(1));
        int presses = 1;
        while (bodyBar()->value() < bodyBar()->maximum() && presses < 100) {
            key(Qt::Key_Space);
            ++presses;
            QCOMPARE(shownRow(), 1);
        }
        QVERIFY(presses > 2);
        key(Qt::Key_Space);
        QCOMPARE(shownRow(), 2);
        // Shift+Space with the caret at the top goes back at once: no unread row above.
        key(Qt::Key_Space, Qt::ShiftModifier);
        QCOMPARE(shownRow(), 2);
    }

    void nextUnreadMarksRowsAndTheBoardCount()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        QCOMPARE(firstBoardItem(), u"&1. なんでも掲示板 (3)"_s);
        QAction *nextUnread = child<QAction>(u"mnuMoveNextNoRead"_s);
        nextUnread->trigger();
        QCOMPARE(shownRow(), 1);
        QCOMPARE(firstBoardItem(), u"&1. なんでも掲示板 (2)"_s);
        nextUnread->trigger();
        QCOMPARE(firstBoardItem(), u"&1. なんでも掲示板 (1)"_s);
        // The last unread row: marked read, and the list stays on it.
        nextUnread->trigger();
        QCOMPARE(shownRow(), 2);
        QVERIFY(isRead(2));
        QCOMPARE(firstBoardItem(), u"&1. なんでも掲示板"_s);
    }

    void rowMovesLeaveTheRowUnreadAndStopAtTheEnds()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        key(Qt::Key_K);
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_J);
        QCOMPARE(shownRow(), 1);
        QVERIFY(m_timer.IsActive());
        m_timer.Advance(500);
        key(Qt::Key_J);
        m_timer.Advance(500);
        QVERIFY(!isRead(1));
        m_timer.Advance(500);
        QVERIFY(isRead(2));
        key(Qt::Key_J);
        QCOMPARE(shownRow(), 2);
        child<QAction>(u"mnuMovePrevMsg"_s)->trigger();
        QCOMPARE(shownRow(), 1);
    }

    void historyStepsBackAndForth()
    {
        storeBoard(3, 8);
        QVERIFY(start());
        for (int position : {5, 3})
            m_window->ShowMessage(0, position - 1, false);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 4);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 0);
        // Slot 0 is still empty: no further step back.
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(shownRow(), 4);
        // A row shown now drops the forward part (row 3).
        m_window->ShowMessage(0, 6, false);
        m_window->ShowMessage(0, 6, false);
        child<QAction>(u"mnuMoveNextArchive"_s)->trigger();
        QCOMPARE(shownRow(), 6);
        child<QAction>(u"mnuMovePrevArchive"_s)->trigger();
        QCOMPARE(shownRow(), 4);
    }

    void historyKeepsTheLastTenPositions()
    {
        BrowseHistory history;
        for (int p = 1; p <= 11; ++p)
            history.Record(p);
        QCOMPARE(history.Pos(), 9);
        int reached = 0;
        for (int step = 0; step < 9; ++step)
            reached = history.Step(-1, 11);
        QCOMPARE(reached, 2);
        QCOMPARE(history.Step(-1, 11), 0);
        QCOMPARE(history.Pos(), 0);
        QVERIFY(history.FromHistory);
    }

    void historyNeverShowsARowBeyondTheList()
    {
        storeBoard(3, 8);
        sql(u"UPDATE Message SET Read = True WHERE ID > 2"_s);
        QVERIFY(start());
        m_window->ShowMessage(0, 1, false);
        m_window->ShowMessage(0, 7, false);
        QVERIFY(m_window->ShowView(3)); // the two unread messages; shows position 1
        QCOMPARE(list(0).rowCount(), 2);
        // Position 8 is gone: the step passes over it and shows nothing.
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 0);
        QCOMPARE(m_window->History().Pos(), 3);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 1);
    }

    void backspaceGoesToTheRepliedMessage()
    {
        store({message(3, 1), message(3, 2), message(3, 3, 1), message(3, 4, 9)});
        QVERIFY(start());
        // Row 0 is message 4, whose replied-to message is not listed.
        key(Qt::Key_Backspace);
        QCOMPARE(shownRow(), 0);
        QVERIFY(!isRead(0));
        m_window->ShowMessage(0, 1, false);
        key(Qt::Key_Backspace);
        QCOMPARE(list(0).Message(shownRow()).ID, 1);
        QVERIFY(isRead(1));
    }

    void keysDoNothingInTheFindBox()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        auto *find = child<QComboBox>(u"cmbFindText"_s);
        find->setFocus();
        key(Qt::Key_J);
        QCOMPARE(shownRow(), 0);
        QCOMPARE(find->currentText(), u"j"_s);
    }

    void boardAndMarkMenusPopUp_data()
    {
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<Qt::KeyboardModifiers>("mods");
        QTest::addColumn<QString>("menu");
        QTest::newRow("F4") << int(Qt::Key_F4) << Qt::KeyboardModifiers() << u"mnuBBSMove"_s;
        QTest::newRow("Ctrl+L") << int(Qt::Key_L) << Qt::KeyboardModifiers(Qt::ControlModifier) << u"mnuBBSMove"_s;
        QTest::newRow("M") << int(Qt::Key_M) << Qt::KeyboardModifiers() << u"mnuMsgMark"_s;
        QTest::newRow("Ctrl+M") << int(Qt::Key_M) << Qt::KeyboardModifiers(Qt::ControlModifier) << u"mnuMsgMark"_s;
    }

    void boardAndMarkMenusPopUp()
    {
        QFETCH(int, keyCode);
        QFETCH(Qt::KeyboardModifiers, mods);
        QFETCH(QString, menu);
        QVERIFY(start());
        key(keyCode, mods);
        auto *popup = child<QMenu>(menu);
        QVERIFY(popup->isVisible());
        popup->close();
    }

    void escapeReturnsFromResultsThenMinimises()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message"_s, 1));
        key(Qt::Key_Escape);
        QCOMPARE(m_window->Lists().CurrentList(), 0);
        QVERIFY(!m_window->isMinimized());
        key(Qt::Key_Escape);
        QVERIFY(m_window->windowState() & Qt::WindowMinimized);
    }

    void unreadPositionEditorStoresOnEnterOnly()
    {
        sql(u"UPDATE BBS SET BBSType = 0 WHERE BBS_ID = 3"_s);
        storeBoard(3, 2);
        QVERIFY(start());
        auto *editor = child<uSpinButton>(u"uspnNoReadPoint"_s);
        auto *panel = child<QLabel>(u"StatusBar.NoReadPoint"_s);
        const auto type = [this](const QString &text) {
            editorText()->selectAll();
            QTest::keyClicks(editorText(), text);
        };
        child<QAction>(u"mnuBBSSetNoRead"_s)->trigger();
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->x(), panel->x());
        type(u"77"_s);
        QTest::keyClick(editorText(), Qt::Key_Space); // the editor's own key, no move
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_Escape);
        QVERIFY(!editor->isVisible());
        QCOMPARE(panel->text(), u"未読位置:0"_s);
        // Losing the focus also closes it unchanged.
        QTest::mouseClick(panel, Qt::LeftButton);
        QVERIFY(editor->isVisible());
        type(u"88"_s);
        m_window->lsvMsgList(0)->setFocus();
        QVERIFY(!editor->isVisible());
        QCOMPARE(m_window->CurrentBBSProperty().NoReadPoint(), 0);

        QTest::mouseClick(panel, Qt::LeftButton);
        type(u"120"_s);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->Value(), 120);
        QTest::keyClick(editorText(), Qt::Key_Return);
        QVERIFY(!editor->isVisible());
        QCOMPARE(panel->text(), u"未読位置:120"_s);
        CBBSProperty board;
        QVERIFY(board.GetProperty(3, *gDB));
        QCOMPARE(board.NoReadPoint(), 120);
    }

    void readTimerIsNotCarriedAcrossABoardChange()
    {
        storeBoard(3, 3);
        storeBoard(4, 3);
        QVERIFY(start());
        m_window->ShowMessage(0, 1, false);
        QVERIFY(m_timer.IsActive());
        m_window->SelectBoard(4);
        QVERIFY(!m_timer.IsActive());
        m_timer.Advance(1000);
        QCOMPARE(mdlRead::ListUnreadCount(m_window->Lists(), 0), 3);
    }

    void readTimerMarksOnlyTheMessageItWasArmedFor()
    {
        storeBoard(3, 3);
        storeBoard(4, 3);
        QVERIFY(start());
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 4"_s, 1));
        m_window->ChangeList(0);
        m_window->ShowMessage(0, 1, false);
        QVERIFY(m_timer.IsActive());
        // The list of board 4 becomes current without showing its row (and re-arming).
        m_window->Lists().SetCurrentList(1);
        m_timer.Advance(1000);
        QCOMPARE(mdlRead::ListUnreadCount(m_window->Lists(), 1), 3);
        QVERIFY(!isRead(1));
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
