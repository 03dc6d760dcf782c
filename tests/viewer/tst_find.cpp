#include "viewer/BodyRenderer.h"
#include "viewer/WindowTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

/** The main window over board 3 with messages of given bodies: finding and the query loop. */
class TestFind : public WindowTest
{
    Q_OBJECT

    /** Stores messages 1.. with @p bodies; the list shows them newest first. */
    void store(const QStringList &bodies)
    {
        QList<CMessage> messages;
        for (int i = 0; i < bodies.size(); ++i) {
            CMessage m;
            m.BBS_ID = 3;
            m.ID = i + 1;
            m.Subject = u"題名"_s;
            m.PostName = u"投稿者"_s;
            m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0));
            m.Body = bodies.at(i);
            messages.append(m);
        }
        WindowTest::store(messages);
    }

    QPlainTextEdit *pane() const { return child<QPlainTextEdit>(u"rtbView"_s); }
    QString selection() const { return pane()->textCursor().selectedText(); }
    int currentRow() const { return m_window->lsvMsgList(0)->selectionModel()->currentIndex().row(); }
    static QString notFound() { return u"検索文字は見つかりませんでした。"_s; }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=5000\r\nReadTiming=1000\r\nUseRegExp=False\r\n");
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID <> 3"_s);
        sql(u"UPDATE BBS SET ListOrder = 0 WHERE BBS_ID = 3"_s);
    }

    void cleanup() { closeWindow(); }

    void findNextMovesIntoTheNextMatchingRowThenReportsTheEnd()
    {
        store({u"needle two"_s, u"nothing"_s, u"first needle"_s}); // rows: 3, 2, 1
        QVERIFY(startWindow());
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(currentRow(), 0);
        QCOMPARE(selection(), u"needle"_s);
        m_window->FindMessage(u"NEEDLE"_s, true);
        QCOMPARE(currentRow(), 2);
        QCOMPARE(selection(), u"needle"_s);
        QVERIFY(m_prompter.texts().isEmpty());
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(m_prompter.texts(), QStringList{notFound()});
        QCOMPARE(currentRow(), 2);
    }



    void emptyListReportsAtOnce()
    {
        QVERIFY(startWindow());
        m_window->FindMessage(u"x"_s, true);
        QCOMPARE(m_prompter.texts(), QStringList{notFound()});
    }

    void selectionLandsAfterSurrogatePairs()
    {
        store({u"😀😀\r\n😀 needle"_s, u"top"_s});
        QVERIFY(startWindow());
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(selection(), u"needle"_s);
    }

    void selectionLandsInALineLongerThanOnePaneBlock()
    {
        store({QString(9000, u'x') + u"needle"_s, u"top"_s});
        QVERIFY(startWindow());
        m_window->FindMessage(u"needle"_s, true);
        QCOMPARE(selection(), u"needle"_s);
    }


    void emptyFindBoxTakesTheFocusAndEnterSearches()
    {
        store({u"needle"_s, u"top"_s});
        QVERIFY(startWindow());
        child<QAction>(u"mnuMsgFindNext"_s)->trigger();
        auto *box = child<QComboBox>(u"cmbFindText"_s);
        QCOMPARE(m_window->focusWidget(), box);
        QTest::keyClicks(box->lineEdit(), u"needle"_s);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QCOMPARE(currentRow(), 1);
        QCOMPARE(selection(), u"needle"_s);
    }

    void findCommandsSearchInTheirDirection_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("row");
        QTest::newRow("menu next") << u"mnuMsgFindNext"_s << 2;
        QTest::newRow("menu previous") << u"mnuMsgFindPrev"_s << 0;
        QTest::newRow("button next") << u"Toolbar.FindNext"_s << 2;
        QTest::newRow("button previous") << u"Toolbar.FindPrev"_s << 0;
    }

    // From the middle row, with the find box's text.
    void findCommandsSearchInTheirDirection()
    {
        QFETCH(QString, command);
        QFETCH(int, row);
        store({u"first needle"_s, u"middle"_s, u"last needle"_s}); // rows: 3, 2, 1
        QVERIFY(startWindow());
        m_window->ShowMessage(0, 1, false);
        child<QComboBox>(u"cmbFindText"_s)->setEditText(u"needle"_s);
        child<QAction>(command)->trigger();
        QCOMPARE(currentRow(), row);
        QCOMPARE(selection(), u"needle"_s);
    }

    void queryCommandOpensTheLastQueryOrTheBoardsTemplate_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("earlier");
        QTest::newRow("menu, no query yet") << u"mnuMsgQuery"_s << QString();
        QTest::newRow("button, after a query") << u"Toolbar.SQL"_s << u"SELECT * FROM Message WHERE ID = 1;"_s;
    }

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
    }

    void longWalkGoesOnBetweenTurnsUntilEscape_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("to the end") << false << QStringList{notFound()};
        QTest::newRow("Escape") << true << QStringList();
    }

    // 3000 rows take three turns of the event loop; Escape during the walk ends it silently.
    void longWalkGoesOnBetweenTurnsUntilEscape()
    {
        QFETCH(bool, escape);
        QFETCH(QStringList, said);
        QStringList bodies(3000, u"plain"_s);
        store(bodies);
        QVERIFY(startWindow());
        m_prompter.pushAnswer(Prompter::Yes); // every row, beyond AddMax
        QVERIFY(m_window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 3 ORDER BY ID"_s, 1));
        QCOMPARE(m_window->Lists().lsvMsgList(1).rowCount(), 3000);
        m_prompter.clear();
        m_window->FindMessage(u"missing"_s, true);
        QVERIFY(m_window->IsFinding());
        if (escape)
            QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_window->IsFinding());
        QCOMPARE(m_prompter.texts(), said);
        QCOMPARE(m_window->lsvMsgList(1)->selectionModel()->currentIndex().row(), 0);
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


    void bodySearchFindsExactlyTheSelectedText()
    {
        store({u"say it's *x ok"_s, u"it's yx"_s});
        QVERIFY(startWindow());
        m_dialogs.showSQL = [](const QString &sql) { return sql; };
        m_window->QueryLoop(frmView::QueryTemplate(3, u"it's *x"_s));
        QCOMPARE(m_window->Lists().CurrentList(), 1);
        QCOMPARE(m_window->Lists().lsvMsgList(1).rowCount(), 1);
        QCOMPARE(m_window->Lists().lsvMsgList(1).Message(0).ID, 1);
        QCOMPARE(m_window->LastQuery(), frmView::QueryTemplate(3, u"it's *x"_s));
    }

    void aFailingStatementReopensTheWindowWithItsText()
    {
        QVERIFY(startWindow());
        QStringList shown;
        m_dialogs.showSQL = [&shown](const QString &sql) {
            shown.append(sql);
            return shown.size() == 1 ? u"SELECT FROM nowhere"_s : QString();
        };
        m_window->QueryLoop(u"first"_s);
        QCOMPARE(shown, (QStringList{u"first"_s, u"SELECT FROM nowhere"_s}));
        QCOMPARE(m_window->LastQuery(), QString());
    }

    // The query cursor's refusal of an engine statement is the answer, as tessera-cli gives it.
    void anEngineStatementIsAnsweredWithTheRefusal()
    {
        QVERIFY(startWindow());
        QStringList shown;
        m_dialogs.showSQL = [&shown](const QString &sql) {
            shown.append(sql);
            return shown.size() == 1 ? u"PRAGMA user_version = 3"_s : QString();
        };
        m_prompter.clear();
        m_window->QueryLoop(u"first"_s);
        QCOMPARE(m_prompter.texts(), QStringList{u"処理が実行できませんでした。\n\n実行時エラー '3219':\n現在未対応ですm(_ _)m"_s});
        QCOMPARE(shown, (QStringList{u"first"_s, u"PRAGMA user_version = 3"_s}));
    }

    void aQueryWindowCancelledAtOnceKeepsTheLastQuery()
    {
        QVERIFY(startWindow());
        const QString earlier = frmView::QueryTemplate(3);
        m_dialogs.showSQL = [](const QString &sql) { return sql; };
        m_window->QueryLoop(earlier);
        m_dialogs.showSQL = [](const QString &) { return QString(); };
        m_window->QueryLoop(u"SELECT * FROM BBS"_s);
        QCOMPARE(m_window->LastQuery(), earlier);
    }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
