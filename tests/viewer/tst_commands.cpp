#include "app/mdlExecuteLite.h"
#include "viewer/WindowTest.h"

#include <QContextMenuEvent>
#include <QScreen>

using namespace Qt::StringLiterals;

/** The main window over boards 3 (なんでも) and 4 (雑談); board 3 is shown. */
class TestCommands : public WindowTest
{
    Q_OBJECT

    /** Messages 1 to @p count of @p board; the first @p unread are unread; @p parents[id] = replied-to ID. */
    void storeBoard(int board, int count, int unread = 0, const QHash<int, int> &parents = {})
    {
        QList<CMessage> messages;
        for (int id = 1; id <= count; ++id) {
            CMessage m = message(board, id, u"本文%1"_s.arg(id));
            m.InReplyTo = parents.value(id);
            m.RootThread = m.InReplyTo ? messages.at(m.InReplyTo - 1).RootThread : id;
            m.Read = id > unread;
            m.Mail = id == 1 ? u"a@example.jp"_s : QString();
            messages.append(m);
        }
        WindowTest::store(messages);
    }

    bool start()
    {
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID > 4"_s);
        return startWindow();
    }

    QAction *item(const QString &name) const { return child<QAction>(name); }
    QString boardItem() const { return child<QMenu>(u"mnuBBSMove"_s)->actions().at(1)->text(); }
    int storedMessages() { return gDB->OpenRecordset(u"SELECT ID FROM Message"_s)->RecordCount(); }

    /** Selects the rows of list @p Index showing messages @p ids of board 3, then runs the enabling. */
    void select(int Index, const QList<int> &ids)
    {
        QItemSelectionModel *selection = list(Index).selectionModel();
        selection->clear();
        for (int id : ids)
            selection->select(list(Index).index(list(Index).RowOf(3, id), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        emit child<QMenu>(u"mnuMsg"_s)->aboutToShow();
    }

    void rightClick(int Index, int row)
    {
        QTreeView *view = m_window->lsvMsgList(Index);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(view->model()->index(row, 2)).center());
    }

private slots:
    void init() { prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=1000\r\nReadTiming=60000\r\n"); }
    void cleanup()
    {
        closeWindow();
        mdlExecuteLite::setShellOpenHandler({});
    }

    void relateSearchShowsTheThread_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("rows");
        QTest::newRow("name # number") << 3 << u"雑談#2"_s << 4 << 3;
        QTest::newRow("name, blank, number") << 3 << u" 雑談 2 "_s << 4 << 3;
        QTest::newRow("name and digits") << 3 << u"雑談2"_s << 4 << 3;
        QTest::newRow("# number: the board passed") << 3 << u"#2"_s << 3 << 2;
        QTest::newRow("quote in the name") << 3 << u"O'Neil#2"_s << 4 << 3;
        QTest::newRow("wildcard stands for itself") << 4 << u"?#2"_s << 4 << 3;
    }

    void relateSearchShowsTheThread()
    {
        QFETCH(int, from);
        QFETCH(QString, text);
        QFETCH(int, board);
        QFETCH(int, rows);
        storeBoard(3, 3, 0, {{2, 1}});
        storeBoard(4, 4, 0, {{2, 1}, {4, 2}});
        sql(u"UPDATE BBS SET ShortName = 'O''Neil' WHERE BBS_ID = 4"_s);
        QVERIFY(start());
        m_window->RelateSearch(from, text);
        QCOMPARE(m_prompter.texts(), QStringList());
        QCOMPARE(m_window->Lists().CurrentList(), 1);
        QCOMPARE(list(1).rowCount(), rows);
        QCOMPARE(list(1).Message(0).ID, 1); // thread order
        QCOMPARE(list(1).Key(list(1).CurrentRow()), CMessage::MakeKey(board, 2));
    }

    void deleteAsksAndKeepsTheUnreadCountRight()
    {
        storeBoard(3, 4, 2);
        QVERIFY(start());
        QCOMPARE(boardItem(), u"&1. なんでも掲示板 (2)"_s);
        select(0, {2, 3, 4}); // one of them unread
        m_window->lsvMsgList(0)->setFocus();
        QTest::keyClick(m_window->lsvMsgList(0), Qt::Key_Delete); // the default answer: No
        QCOMPARE(m_prompter.records().size(), 1);
        QCOMPARE(m_prompter.records().first().text, u"このメッセージを削除してもよろしいですか？"_s);
        QCOMPARE(storedMessages(), 4);
        m_prompter.pushAnswer(Prompter::Yes);
        QTest::keyClick(m_window->lsvMsgList(0), Qt::Key_Delete);
        QCOMPARE(storedMessages(), 1);
        QCOMPARE(list(0).rowCount(), 1);
        QCOMPARE(boardItem(), u"&1. なんでも掲示板 (1)"_s);
        QCOMPARE(child<QLabel>(u"StatusBar.Count"_s)->text(), u"1/1"_s);
    }

    void deletingRemovesTheRowFromListZeroOnly_data()
    {
        QTest::addColumn<int>("Index");
        QTest::addColumn<int>("rows0");
        QTest::addColumn<int>("rows1");
        QTest::newRow("in list 1: from both") << 1 << 2 << 1;
        QTest::newRow("in list 0: list 1 unchanged") << 0 << 2 << 2;
    }

    void deletingRemovesTheRowFromListZeroOnly()
    {
        QFETCH(int, Index);
        storeBoard(3, 3, 0, {{2, 1}});
        QVERIFY(start());
        m_window->RelateSearch(3, u"#2"_s); // list 1: messages 1 and 2, message 2 selected
        m_window->ChangeList(Index);
        select(Index, {2});
        m_prompter.pushAnswer(Prompter::Yes);
        item(u"mnuMsgDelete"_s)->trigger();
        QTEST(list(0).rowCount(), "rows0");
        QTEST(list(1).rowCount(), "rows1");
    }

    void deletingAThousandRowsIsAllOrNothing_data()
    {
        QTest::addColumn<int>("refusedId");
        QTest::addColumn<int>("left");
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("said");
        QTest::newRow("deleted") << 0 << 0 << u"&1. なんでも掲示板"_s << u"このメッセージを削除してもよろしいですか？"_s;
        QTest::newRow("one refused") << 500 << 1000 << u"&1. なんでも掲示板 (400)"_s << u"メッセージを削除できませんでした。"_s;
    }

    // The database refuses to delete message refusedId (0: none); the board item has no count when none is unread.
    void deletingAThousandRowsIsAllOrNothing()
    {
        QFETCH(int, refusedId);
        QFETCH(QString, said);
        storeBoard(3, 1000, 400);
        bool ok = false;
        sqliteTool(mdlMain::LogDatabasePath(),
                   u"CREATE TRIGGER refuse BEFORE DELETE ON Message WHEN old.ID = %1 BEGIN SELECT RAISE(ABORT, 'refused'); END;"_s.arg(refusedId), &ok);
        QVERIFY(ok);
        QVERIFY(start());
        item(u"mnuMsgAllSelect"_s)->trigger();
        m_prompter.pushAnswer(Prompter::Yes);
        item(u"mnuMsgDelete"_s)->trigger();
        QTEST(storedMessages(), "left");
        QTEST(list(0).rowCount(), "left");
        QTEST(boardItem(), "board");
        QVERIFY2(m_prompter.texts().last().startsWith(said), qPrintable(m_prompter.texts().last()));
    }

    // A menu opened from the keyboard opens over the current row, wherever the pointer is.
    void keyboardMenusOpenOverTheCurrentRow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("menu");
        QTest::newRow("M: marks") << int(Qt::Key_M) << Qt::KeyboardModifiers() << u"mnuMsgMark"_s;
        QTest::newRow("Ctrl+M: marks") << int(Qt::Key_M) << Qt::KeyboardModifiers(Qt::ControlModifier) << u"mnuMsgMark"_s;
        QTest::newRow("Shift+F10: pop-up") << int(Qt::Key_F10) << Qt::KeyboardModifiers(Qt::ShiftModifier) << u"mnuPopup"_s;
    }

    void keyboardMenusOpenOverTheCurrentRow()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, menu);
        storeBoard(3, 3);
        QVERIFY(start());
        m_window->setGeometry(QGuiApplication::primaryScreen()->availableGeometry().adjusted(20, 20, -20, -20));
        QTreeView *view = m_window->lsvMsgList(0);
        m_window->ShowMessage(0, 1, false);
        view->setFocus();
        QCursor::setPos(m_window->mapToGlobal(QPoint(m_window->width() - 5, m_window->height() - 5)));
        QTest::keyClick(view, Qt::Key(key), modifiers);
        const QPoint row = view->visualRect(view->currentIndex()).center();
        QCOMPARE(child<QMenu>(menu)->pos(), view->viewport()->mapToGlobal(row));
    }

    // The pop-up opens over the row under the pointer, or over a row of the selection, which
    // stays; the menu key opens it over the current row. Its items follow the message menu's,
    // whose enabling follows the selection; its commands act on the selection.
    void listPopupOpensOverItsRow()
    {
        storeBoard(3, 3, 2, {{2, 1}});
        sql(u"UPDATE Message SET Mark = 2 WHERE ID = 1"_s);
        QVERIFY(start());
        QList<QUrl> opened;
        mdlExecuteLite::setShellOpenHandler([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        auto *popup = child<QMenu>(u"mnuPopup"_s);
        rightClick(0, 2); // message 1: unread, marked, with a mail address, replying to nothing
        QVERIFY(popup->isVisible());
        QTreeView *view = m_window->lsvMsgList(0);
        QCOMPARE(popup->pos(), view->viewport()->mapToGlobal(view->visualRect(view->model()->index(2, 2)).center()));
        QCOMPARE(pane()->toPlainText().trimmed(), u"本文1"_s);
        QVERIFY(!item(u"mnuPopupHomepage"_s)->isEnabled());
        QVERIFY(item(u"mnuPopupRead"_s)->isEnabled());
        QVERIFY(!item(u"mnuPopupNoRead"_s)->isEnabled());
        QVERIFY(item(u"mnuPopupDelete"_s)->isEnabled());
        QVERIFY(!item(u"mnuPopupInReplyTo"_s)->isEnabled());
        QVERIFY(item(u"mnuPopupMarkSub(2)"_s)->isChecked());
        item(u"mnuPopupMarkSub(3)"_s)->trigger();
        QCOMPARE(gDB->OpenRecordset(u"SELECT Mark FROM Message WHERE ID = 1"_s)->Value(0, 0).toInt(), 3);
        item(u"mnuPopupMail"_s)->trigger();
        QCOMPARE(opened, QList<QUrl>{QUrl(u"mailto:a@example.jp"_s)});
        popup->hide();

        select(0, {2, 3}); // one unread row and one read row
        QVERIFY(item(u"mnuMsgRead"_s)->isEnabled());
        QVERIFY(item(u"mnuMsgNoRead"_s)->isEnabled());
        rightClick(0, 1);
        QCOMPARE(list(0).SelectedRows().size(), 2);
        popup->hide();
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(5, view->viewport()->height() - 2));
        QVERIFY(!popup->isVisible());
        select(0, {});
        QVERIFY(!item(u"mnuMsgRead"_s)->isEnabled());
        QVERIFY(!item(u"mnuMsgNoRead"_s)->isEnabled());
        select(0, {2});
        view->setFocus();
        QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier); // marks the selection read
        QCOMPARE(boardItem(), u"&1. なんでも掲示板 (1)"_s);

        view->selectionModel()->setCurrentIndex(view->model()->index(2, 0), QItemSelectionModel::NoUpdate);
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QApplication::sendEvent(view, &menuKey);
        QVERIFY(popup->isVisible());
        QCOMPARE(pane()->toPlainText().trimmed(), u"本文1"_s);
        item(u"mnuPopupRelate"_s)->trigger();
        popup->hide();
        QCOMPARE(m_window->Lists().CurrentList(), 1);
        QCOMPARE(list(1).rowCount(), 2);
        QCOMPARE(list(1).Key(list(1).CurrentRow()), CMessage::MakeKey(3, 1));
        QVERIFY(m_window->ShowSQLResult(u"SELECT BBS_ID FROM BBS"_s, 1)); // rows of another query
        rightClick(1, 0);
        QVERIFY(!popup->isVisible());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
