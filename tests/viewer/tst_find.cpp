#include "viewer/WindowTest.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

using namespace Qt::StringLiterals;

/** The main window over board 3 with messages of given bodies: finding and the query loop. */
class TestFind : public WindowTest
{
    Q_OBJECT

    /** Stores messages 1.. with @p bodies; the list shows them newest first. */
    void store(const QStringList &bodies)
    {
        QList<CMessage> messages;
        for (int i = 0; i < bodies.size(); ++i)
            messages.append(message(3, i + 1, bodies.at(i)));
        WindowTest::store(messages);
    }

    QString selection() const { return pane()->textCursor().selectedText(); }
    int selectionStart() const { return pane()->textCursor().selectionStart(); }
    int currentRow() const { return m_window->lsvMsgList(0)->selectionModel()->currentIndex().row(); }
    static QString notFound() { return u"検索文字は見つかりませんでした。"_s; }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=5000\r\nReadTiming=1000\r\nUseRegExp=False\r\n");
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID <> 3"_s);
    }

    void cleanup() { closeWindow(); }

    // Each find goes on after the match before it: in the shown body, then in the next row. After
    // a delete no row is current, and the next find starts at the top row. Enter in the find box
    // finds; its keys go where a window system sends them, to the focus widget.
    void findNextGoesOnFromTheLastMatchThenReportsTheEnd()
    {
        store({u"last needle"_s, u"nothing"_s, u"needle and NEEDLE"_s}); // rows: 3, 2, 1
        QVERIFY(startWindow());
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F3); // the find box is empty: it takes the focus
        QCOMPARE(QApplication::focusWidget(), child<QComboBox>(u"cmbFindText"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"needle"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(currentRow(), 0);
        QCOMPARE(selectionStart(), 0);
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(currentRow(), 0);
        QCOMPARE(selectionStart(), 11);
        QCOMPARE(selection(), u"NEEDLE"_s);
        m_window->FindMessage(u"NEEDLE"_s, true);
        QCOMPARE(currentRow(), 2);
        QCOMPARE(selectionStart(), 5);
        QVERIFY(m_prompter.texts().isEmpty());
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(m_prompter.texts(), QStringList{notFound()});
        QCOMPARE(currentRow(), 2);
        m_window->ShowMessage(0, 1, false);
        m_prompter.pushAnswer(Prompter::Yes);
        child<QAction>(u"mnuMsgDelete"_s)->trigger();
        QCOMPARE(currentRow(), -1);
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(currentRow(), 0);
        QCOMPARE(selectionStart(), 0);
    }

    void findCommandsStartAtTheCaret_data()
    {
        QTest::addColumn<QStringList>("bodies");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("start");
        const QStringList three{u"first needle"_s, u"middle"_s, u"last needle"_s}; // rows: 3, 2, 1
        const QStringList twice{u"needle, needle"_s};
        QTest::newRow("menu next, an older row") << three << 1 << 0 << u"mnuMsgFindNext"_s << 2 << 6;
        QTest::newRow("menu previous, a newer row") << three << 1 << 0 << u"mnuMsgFindPrev"_s << 0 << 5;
        QTest::newRow("button next, after the caret") << twice << 0 << 3 << u"Toolbar.FindNext"_s << 0 << 8;
        QTest::newRow("button previous, before the caret") << twice << 0 << 8 << u"Toolbar.FindPrev"_s << 0 << 0;
        QTest::newRow("after surrogate pairs and a line break")
            << QStringList{u"😀😀\r\n😀 needle"_s, u"top"_s} << 0 << 0 << u"mnuMsgFindNext"_s << 1 << 8;
        QTest::newRow("in a line longer than one pane block")
            << QStringList{QString(9000, u'x') + u"needle"_s, u"top"_s} << 0 << 0 << u"mnuMsgFindNext"_s << 1 << 9001;
    }

    // The find box's text from the caret in row @c shown; @c start is the match's place in the pane.
    void findCommandsStartAtTheCaret()
    {
        QFETCH(QStringList, bodies);
        QFETCH(int, shown);
        QFETCH(int, caret);
        QFETCH(QString, command);
        store(bodies);
        QVERIFY(startWindow());
        m_window->ShowMessage(0, shown, false);
        QTextCursor cursor = pane()->textCursor();
        cursor.setPosition(caret);
        pane()->setTextCursor(cursor);
        child<QComboBox>(u"cmbFindText"_s)->setEditText(u"needle"_s);
        child<QAction>(command)->trigger();
        QTEST(currentRow(), "row");
        QTEST(selectionStart(), "start");
        QCOMPARE(selection(), u"needle"_s);
    }

    void longWalkGoesOnBetweenTurnsUntilEscape_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("to the end") << false << QStringList{notFound()};
        QTest::newRow("Escape") << true << QStringList();
    }

    // 3000 rows take three turns of the event loop. The window does not close under the walk;
    // Escape ends it silently.
    void longWalkGoesOnBetweenTurnsUntilEscape()
    {
        QFETCH(bool, escape);
        QFETCH(QStringList, said);
        store(QStringList(3000, u"plain"_s));
        QVERIFY(startWindow());
        m_prompter.pushAnswer(Prompter::Yes); // every row, beyond AddMax
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 3 ORDER BY ID"_s, 1));
        QCOMPARE(list(1).rowCount(), 3000);
        m_prompter.clear();
        m_window->FindMessage(u"missing"_s, true);
        QVERIFY(m_window->IsFinding());
        m_window->windowHandle()->close(); // as the title bar's close button
        if (escape)
            QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->IsFinding());
        QCOMPARE(m_prompter.texts(), said);
        QCOMPARE(m_window->lsvMsgList(1)->selectionModel()->currentIndex().row(), 0);
        QVERIFY(m_window->isVisible());
    }

    void findDialogCopiesTheHistoryAndFindsThroughTheWindow()
    {
        store({u"needle"_s, u"top"_s});
        QVERIFY(startWindow());
        mdlOption::UseRegExp = true;
        m_window->FindMessage(u"older"_s, true);
        m_prompter.clear();
        child<QAction>(u"mnuMsgFind"_s)->trigger();
        auto *dialog = m_window->findChild<QDialog *>(u"frmFind"_s);
        QVERIFY(dialog);
        auto *combo = dialog->findChild<QComboBox *>(u"cmbFindText"_s);
        QCOMPARE(combo->itemText(0), u"older"_s);
        QVERIFY(dialog->findChild<QPushButton *>(u"cmdFindNext"_s)->isEnabled());
        QVERIFY(dialog->findChild<QCheckBox *>(u"chkIgnoreCase"_s)->isEnabled());
        dialog->findChild<QCheckBox *>(u"chkUseRegExp"_s)->click();
        QVERIFY(!dialog->findChild<QCheckBox *>(u"chkIgnoreCase"_s)->isEnabled());
        combo->setEditText(QString());
        QVERIFY(!dialog->findChild<QPushButton *>(u"cmdFindPrev"_s)->isEnabled());
        combo->setEditText(u"need"_s);
        QTest::keyClick(dialog, Qt::Key_F3);
        QCOMPARE(mdlOption::UseRegExp, false);
        QCOMPARE(currentRow(), 1);
        QCOMPARE(selection(), u"need"_s);
    }

    // Ctrl+Shift+F in the find box lists every board's messages whose texts hold its text, newest
    // first, AddMax to a page, each naming its board; F8 and F7 turn the pages. The key asks for a
    // text first, and the box's pop-up holds the command.
    void searchOfEveryBoardListsItsPagesWithTheBoards()
    {
        sql(u"UPDATE BBS SET ListOrder = 1, BBS_Name = '四番' WHERE BBS_ID = 4"_s);
        CMessage bySubject = message(4, 2);
        bySubject.Subject = u"針と糸"_s;
        WindowTest::store({message(3, 1, u"針と糸"_s), bySubject, message(4, 3, u"ＸＸ針と糸"_s), message(3, 4, u"針と糸"_s)});
        QVERIFY(startWindow());
        mdlOption::AddMax = 2;
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto *box = child<QComboBox>(u"cmbFindText"_s);
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        box->lineEdit()->insert(u"針と糸"_s);
        QTest::keyClick(box, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(list(1).Key(1), CMessage::MakeKey(4, 3));
        QCOMPARE(list(1).CellText(1, MessageListModel::ColBBS), u"四番"_s);
        QTest::keyClick(m_window.get(), Qt::Key_F8);
        QCOMPARE(list(1).Key(0), CMessage::MakeKey(4, 2));
        QCOMPARE(list(1).Key(1), CMessage::MakeKey(3, 1));
        QVERIFY(!child<QAction>(u"Toolbar.Forword"_s)->isEnabled());
        QTest::keyClick(m_window.get(), Qt::Key_F7);
        QCOMPARE(list(1).Key(0), CMessage::MakeKey(3, 4));
        QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(m_window->lsvMsgList(1))->tableInterface();
        QCOMPARE(table->columnDescription(MessageListModel::ColBBS), u"掲示板"_s);
        QCOMPARE(table->cellAt(1, MessageListModel::ColBBS)->text(QAccessible::Name), u"四番"_s);
        emit box->lineEdit()->customContextMenuRequested({});
        QVERIFY(QApplication::activePopupWidget()->actions().contains(child<QAction>(u"mnuMsgAllFind"_s)));
    }

    void queryCommandOpensTheLastQueryOrTheBoardsTemplate_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("earlier");
        QTest::newRow("menu, no query yet") << u"mnuMsgQuery"_s << QString();
        QTest::newRow("button, after a query") << u"Toolbar.SQL"_s << u"SELECT * FROM Message WHERE ID = 1;"_s;
    }

    // The query window cancelled at once keeps the last query.
    void queryCommandOpensTheLastQueryOrTheBoardsTemplate()
    {
        QFETCH(QString, command);
        QFETCH(QString, earlier);
        store({u"body"_s});
        QVERIFY(startWindow());
        if (!earlier.isEmpty()) {
            m_dialogs.showSQL = [](const QString &sql) { return sql; };
            m_window->QueryLoop(earlier);
        }
        QStringList shown;
        m_dialogs.showSQL = [&shown](const QString &sql) {
            shown.append(sql);
            return QString();
        };
        child<QAction>(command)->trigger();
        const QString expected = earlier.isEmpty() ? frmView::QueryTemplate(3) : earlier;
        QCOMPARE(shown, QStringList{expected});
        QCOMPARE(m_window->LastQuery(), earlier);
    }

    void aRefusedStatementIsSaidAndReopensTheWindowWithItsText_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("said");
        QTest::newRow("not a statement") << u"SELECT FROM nowhere"_s << u"処理が実行できませんでした。\n\n実行時エラー '"_s;
        // The query cursor's refusal of an engine statement is the answer, as tessera-cli gives it.
        QTest::newRow("engine statement")
            << u"PRAGMA user_version = 3"_s << u"処理が実行できませんでした。\n\n実行時エラー '3219':\n現在未対応ですm(_ _)m"_s;
    }

    void aRefusedStatementIsSaidAndReopensTheWindowWithItsText()
    {
        QFETCH(QString, statement);
        QFETCH(QString, said);
        QVERIFY(startWindow());
        QStringList shown;
        m_dialogs.showSQL = [&shown, statement](const QString &sql) {
            shown.append(sql);
            return shown.size() == 1 ? statement : QString();
        };
        m_prompter.clear();
        m_window->QueryLoop(u"first"_s);
        QCOMPARE(m_prompter.texts().size(), 1);
        QVERIFY2(m_prompter.texts().first().startsWith(said), qPrintable(m_prompter.texts().first()));
        QCOMPARE(shown, (QStringList{u"first"_s, statement}));
        QCOMPARE(m_window->LastQuery(), QString());
    }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
