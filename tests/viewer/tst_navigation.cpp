#include "controls/uSpinButton.h"
#include "cookies/CookieStore.h"
#include "db/CBBSProperty.h"
#include "settings_ui/frmProperty.h"
#include "models/mdlRead.h"
#include "viewer/WindowTest.h"

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

/** The main window over boards 3 and 4: moving around, the unread position, the properties and options dialogs. */
class TestNavigation : public WindowTest
{
    Q_OBJECT

    std::unique_ptr<CookieStore> m_cookies;

    /** Starts the program; the list of board 3 has the focus. */
    bool start()
    {
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID > 4"_s);
        if (!startWindow())
            return false;
        m_window->activateWindow();
        const bool active = QTest::qWaitForWindowActive(m_window.get());
        m_window->lsvMsgList(0)->setFocus();
        return active;
    }

    int shownRow() { return list(0).CurrentRow(); }
    bool isRead(int row) { return list(0).ReadText(row) == u" "_s; }
    void key(int k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), mods); }
    /** Triggers menu item @p name; @p answer runs inside the dialog it opens. */
    void runDialog(const QString &name, const std::function<void(frmProperty &)> &answer)
    {
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto *form = qobject_cast<frmProperty *>(QApplication::activeModalWidget());
            QVERIFY(form);
            answered = true;
            answer(*form);
            if (form->isVisible())
                form->reject();
        });
        child<QAction>(name)->trigger();
        QVERIFY(answered);
    }

    QString boardItem() const { return child<QMenu>(u"mnuBBSMove"_s)->actions().at(1)->text(); }
    QLineEdit *editorText() const { return child<uSpinButton>(u"uspnNoReadPoint"_s)->findChild<QLineEdit *>(); }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=100\r\nReadTiming=1000\r\n");
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
    }

    void cleanup()
    {
        closeWindow();
        setCookieStore(nullptr);
    }

    void spacePagesALongUnreadBodyThenMovesOn()
    {
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines.append(u"長い本文の%1行目"_s.arg(i));
        store({message(3, 1), message(3, 2, lines.join(u"\r\n"_s)), message(3, 3), message(3, 4)}); // row 2 is long
        QVERIFY(start());
        QScrollBar *bar = pane()->verticalScrollBar();
        key(Qt::Key_J); // row 0 stays unread
        // Row 1 fits the pane: the press marks it and goes on at once.
        key(Qt::Key_Space);
        QVERIFY(isRead(1));
        QCOMPARE(shownRow(), 2);
        int presses = 0;
        while (bar->value() < bar->maximum() && presses++ < 100) {
            key(Qt::Key_Space);
            QCOMPARE(shownRow(), 2);
        }
        QVERIFY(presses > 1);
        QVERIFY(isRead(2));
        key(Qt::Key_Space); // at the end of the body
        QCOMPARE(shownRow(), 3);
        // Caret at the top: Shift+Space goes to the previous unread row at once.
        key(Qt::Key_Space, Qt::ShiftModifier);
        QCOMPARE(shownRow(), 0);
    }

    void nextUnreadMarksRowsAndTheBoardCount()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        QCOMPARE(boardItem(), u"&1. なんでも掲示板 (3)"_s);
        QAction *nextUnread = child<QAction>(u"mnuMoveNextNoRead"_s);
        nextUnread->trigger();
        QCOMPARE(shownRow(), 1);
        QCOMPARE(boardItem(), u"&1. なんでも掲示板 (2)"_s);
        nextUnread->trigger();
        // The last unread row: marked read, and the list stays on it.
        nextUnread->trigger();
        QCOMPARE(shownRow(), 2);
        QVERIFY(isRead(2));
        QCOMPARE(boardItem(), u"&1. なんでも掲示板"_s);
    }

    void rowMovesLeaveTheRowUnread()
    {
        storeBoard(3, 3);
        QVERIFY(start());
        QVERIFY(!m_timer.IsActive()); // the first row of a filled list is not timed
        key(Qt::Key_K);
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_J);
        QCOMPARE(shownRow(), 1);
        m_timer.Advance(500);
        key(Qt::Key_J);
        m_timer.Advance(500);
        QVERIFY(!isRead(1));
        m_timer.Advance(500);
        QVERIFY(isRead(2));
        m_window->ShowMessage(0, 2, false); // a read row is not timed again
        QVERIFY(!m_timer.IsActive());
    }

    void historyStepsBackAndForth()
    {
        storeBoard(3, 8);
        QVERIFY(start()); // shows position 1
        m_window->ShowMessage(0, 4, false);
        m_window->ShowMessage(0, 2, false);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 4);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_Left, Qt::AltModifier); // slot 0 is still empty
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(shownRow(), 4);
        // Showing position 7 (twice: recorded once) drops position 3 from the forward part.
        m_window->ShowMessage(0, 6, false);
        m_window->ShowMessage(0, 6, false);
        key(Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(shownRow(), 6);
        key(Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(shownRow(), 4);
    }

    // Ten positions are kept; a position beyond the rows of the list now is stepped over, not shown.
    void historyKeepsTenPositionsAndStepsOverGoneRows()
    {
        BrowseHistory history;
        for (int p = 1; p <= 11; ++p)
            history.Record(p);
        int reached = 0;
        for (int step = 0; step < 9; ++step)
            reached = history.Step(-1, 11);
        QCOMPARE(reached, 2);
        QCOMPARE(history.Step(-1, 11), 0);
        QCOMPARE(history.Step(1, 2), 0);
        QCOMPARE(history.Step(-1, 2), 2);
    }

    // The menus show the keys beside their items (the map runs them: listKeys).
    void menusShowTheKeys_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("next row") << u"mnuMoveNextMsg"_s << QKeySequence(Qt::Key_J);
        QTest::newRow("previous row") << u"mnuMovePrevMsg"_s << QKeySequence(Qt::Key_K);
        QTest::newRow("next unread") << u"mnuMoveNextNoRead"_s << QKeySequence(Qt::Key_Space);
        QTest::newRow("previous unread") << u"mnuMovePrevNoRead"_s << QKeySequence(Qt::SHIFT | Qt::Key_Space);
        QTest::newRow("history back") << u"mnuMovePrevArchive"_s << QKeySequence(Qt::ALT | Qt::Key_Left);
        QTest::newRow("history forward") << u"mnuMoveNextArchive"_s << QKeySequence(Qt::ALT | Qt::Key_Right);
        QTest::newRow("replied message") << u"mnuMoveInReplyTo"_s << QKeySequence(Qt::Key_Backspace);
        QTest::newRow("marks") << u"mnuMsgMark"_s << QKeySequence(Qt::Key_M);
        QTest::newRow("boards") << u"mnuBBSMove"_s << QKeySequence(Qt::Key_F4);
        QTest::newRow("newer page") << u"mnuBBSViewSub(1)"_s << QKeySequence(Qt::Key_F7);
        QTest::newRow("older page") << u"mnuBBSViewSub(2)"_s << QKeySequence(Qt::Key_F8);
        QTest::newRow("delete") << u"mnuMsgDelete"_s << QKeySequence(Qt::Key_Delete);
        QTest::newRow("delete, pop-up") << u"mnuPopupDelete"_s << QKeySequence(Qt::Key_Delete);
        QTest::newRow("read") << u"mnuMsgRead"_s << QKeySequence(Qt::CTRL | Qt::Key_B);
        QTest::newRow("unread") << u"mnuMsgNoRead"_s << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B);
        QTest::newRow("find") << u"mnuMsgFind"_s << QKeySequence(Qt::CTRL | Qt::Key_F);
        QTest::newRow("find on every board") << u"mnuMsgAllFind"_s << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F);
    }

    void menusShowTheKeys()
    {
        QFETCH(QString, item);
        storeBoard(3, 1);
        QVERIFY(start());
        QTEST(child<QAction>(item)->shortcut(), "key");
    }

    // Backspace goes to the replied message; F4 opens the board menu, Ctrl+F the find dialog;
    // Escape returns from the results, then minimises. In the find box the keys are the box's
    // own, even those the menus show.
    void listKeys()
    {
        storeBoard(3, 4);
        sql(u"UPDATE Message SET InReplyTo = 1 WHERE ID = 4"_s);
        QVERIFY(start());
        key(Qt::Key_Backspace);
        QCOMPARE(list(0).Message(shownRow()).ID, 1);
        QVERIFY(isRead(0));
        key(Qt::Key_Backspace); // message 1 replies to nothing
        QCOMPARE(list(0).Message(shownRow()).ID, 1);
        key(Qt::Key_F4);
        QVERIFY(child<QMenu>(u"mnuBBSMove"_s)->isVisible());
        child<QMenu>(u"mnuBBSMove"_s)->close();
        key(Qt::Key_F, Qt::ControlModifier); // the find dialog
        QVERIFY(child<QDialog>(u"frmFind"_s));
        child<QDialog>(u"frmFind"_s)->close();
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message"_s, 1));
        key(Qt::Key_Escape);
        QCOMPARE(m_window->Lists().CurrentList(), 0);
        QVERIFY(!m_window->isMinimized());
        child<QComboBox>(u"cmbFindText"_s)->setFocus();
        key(Qt::Key_J);
        QCOMPARE(shownRow(), 3);
        QCOMPARE(child<QComboBox>(u"cmbFindText"_s)->currentText(), u"j"_s);
        key(Qt::Key_Left, Qt::AltModifier); // the menu shows the key, but it is no shortcut there
        QCOMPARE(shownRow(), 3);
        m_window->lsvMsgList(0)->setFocus();
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
        type(u"77"_s);
        QTest::keyClick(editorText(), Qt::Key_Space); // the editor's own key: no move
        QCOMPARE(shownRow(), 0);
        key(Qt::Key_Escape);
        QVERIFY(!editor->isVisible());
        // Losing the focus also closes it unchanged.
        QTest::mouseClick(panel, Qt::LeftButton);
        type(u"88"_s);
        m_window->lsvMsgList(0)->setFocus();
        QVERIFY(!editor->isVisible());
        QCOMPARE(panel->text(), u"未読位置:0"_s);

        // A position that cannot be stored (the cookie file cannot be locked) is said, not shown.
        const QString lock = m_home->filePath(u"cookies.txt.lock"_s);
        QVERIFY(QDir().mkdir(lock));
        QTest::mouseClick(panel, Qt::LeftButton);
        type(u"130"_s);
        QTest::keyClick(editorText(), Qt::Key_Return);
        QCOMPARE(m_prompter.texts().size(), 1);
        QVERIFY(m_prompter.texts().first().startsWith(u"未読位置を保存できませんでした。"_s));
        QCOMPARE(panel->text(), u"未読位置:0"_s);
        QVERIFY(QDir().rmdir(lock));

        QTest::mouseClick(panel, Qt::LeftButton);
        type(u"120"_s);
        QTest::keyClick(editorText(), Qt::Key_Return);
        QVERIFY(!editor->isVisible());
        QCOMPARE(panel->text(), u"未読位置:120"_s);
        CBBSProperty board;
        QVERIFY(board.GetProperty(3, *gDB));
        QCOMPARE(board.NoReadPoint(), 120);
    }

    void readTimerNeverMarksAnotherMessage()
    {
        storeBoard(3, 3);
        storeBoard(4, 3);
        QVERIFY(start());
        m_window->ShowMessage(0, 1, false);
        m_window->SelectBoard(4);
        QVERIFY(!m_timer.IsActive());
        // Armed for a row of board 3, then board 4's list becomes current without showing a row.
        m_window->SelectBoard(3);
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 4"_s, 1));
        m_window->ChangeList(0);
        m_window->ShowMessage(0, 1, false);
        m_window->Lists().SetCurrentList(1);
        m_timer.Advance(1000);
        QCOMPARE(mdlRead::ListUnreadCount(m_window->Lists(), 1), 3);
    }

    // The properties dialog writes the board's row, and the menus and the caption follow; it
    // opens on the tab selected last. A row the database refuses is reported, and the stored
    // values stay.
    void propertiesWriteRowAndRefreshMenus()
    {
        QVERIFY(start());
        runDialog(u"mnuBBSProperty"_s, [](frmProperty &form) {
            form.findChild<QLineEdit *>(u"txtName"_s)->setText(u"よろず掲示板"_s);
            form.findChild<QTabWidget *>(u"tabStrip"_s)->setCurrentIndex(1);
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(m_window->CurrentBBSProperty().BBS_Name(), u"よろず掲示板"_s);
        QCOMPARE(boardItem(), u"&1. よろず掲示板"_s);
        QVERIFY(m_window->windowTitle().startsWith(u"よろず掲示板 - "_s));
        QVERIFY(gDB->Execute(u"CREATE TRIGGER refuse BEFORE UPDATE OF BBS_Name ON BBS WHEN NEW.BBS_Name = 'x' "
                             "BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        int openedOn = 0;
        runDialog(u"mnuBBSProperty"_s, [&openedOn](frmProperty &form) {
            openedOn = form.SelectedTabIndex();
            form.findChild<QLineEdit *>(u"txtName"_s)->setText(u"x"_s);
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(openedOn, 2);
        QVERIFY(m_prompter.texts().last().contains(u"保存できませんでした"_s));
        QCOMPARE(m_window->CurrentBBSProperty().BBS_Name(), u"よろず掲示板"_s);
    }

    // The options dialog may move the shown board: the window reads its row again.
    void optionsReloadShownBoard()
    {
        QVERIFY(start());
        m_window->SelectBoard(4);
        runDialog(u"mnuToolOption"_s, [](frmProperty &form) {
            auto *order = form.findChild<QListWidget *>(u"lstOrder"_s);
            order->setCurrentRow(2); // the shown board, after board 3 and a separator
            form.findChild<QPushButton *>(u"cmdUp"_s)->click();
            form.findChild<QPushButton *>(u"cmdUp"_s)->click();
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(m_window->CurrentBBSProperty().ListOrder(), 0);
        QCOMPARE(sqliteTool(mdlMain::LogDatabasePath(), u"SELECT ListOrder FROM BBS WHERE BBS_ID = 3"_s), u"1"_s);
    }
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
