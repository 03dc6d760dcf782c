#include "app/CIniFile.h"
#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "controls/CMRUCombo.h"
#include "controls/uClickableLabel.h"
#include "controls/uSeparator.h"
#include "viewer/CTray.h"
#include "viewer/WindowTest.h"

#include <QHeaderView>
#include <QScreen>
#include <QTextBlock>

using namespace Qt::StringLiterals;

/** A program folder whose log.mdb was filled through the core, and the main window over it. */
class TestFrmView : public WindowTest
{
    Q_OBJECT

    QList<QUrl> m_opened;

    /** Lists boards @p ids in @p orders; every other board is unlisted. */
    void listBoards(const QList<int> &ids, const QList<int> &orders)
    {
        sql(u"UPDATE BBS SET ListOrder = -1"_s);
        for (int i = 0; i < ids.size(); ++i)
            sql(u"UPDATE BBS SET ListOrder = %1 WHERE BBS_ID = %2"_s.arg(orders.at(i)).arg(ids.at(i)));
    }

    QAction *action(const QString &name) const { return child<QAction>(name); }

    /** The texts of the board menu's items after the hidden placeholder; "-" for a separator. */
    QStringList boardMenu() const
    {
        QStringList texts;
        const QList<QAction *> items = child<QMenu>(u"mnuBBSMove"_s)->actions();
        for (QAction *item : items.mid(1))
            texts.append(item->isSeparator() ? u"-"_s : item->text());
        return texts;
    }

    /** The colour of each line of the body pane, as a list of names. */
    QStringList lineColours() const
    {
        QStringList colours;
        const QTextDocument *doc = pane()->document();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            if (!block.text().isEmpty())
                colours.append(block.begin().fragment().charFormat().foreground().color().name());
        }
        return colours;
    }

private slots:
    void initTestCase()
    {
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void init()
    {
        m_opened.clear();
        prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=100\r\nReadTiming=1000\r\n");
        listBoards({3}, {0});
    }

    void cleanup()
    {
        closeWindow();
        CTray::setAvailabilityHandler({});
    }

    // Gaps in ListOrder become separators. A loaded message adds to its board's count in both
    // menus; nothing loading, the shown list does not grow.
    void boardMenusFollowListOrderAndUnreadCounts()
    {
        listBoards({3, 4, 5}, {0, 1, 4});
        sql(u"UPDATE BBS SET BBS_Name = 'A&B' WHERE BBS_ID = 4"_s);
        store({message(3, 1), message(3, 2)});
        QVERIFY(startWindow());
        QCOMPARE(boardMenu(), (QStringList{u"&1. なんでも掲示板 (2)"_s, u"&2. A&&B"_s, u"-"_s, u"-"_s, u"&3. 質問掲示板"_s}));
        QCOMPARE(action(u"mnuBBSMoveSub(3)"_s)->text(), QString()); // no "-" drawn as a caption
        emit child<QMenu>(u"mnuBBSMove"_s)->aboutToShow();
        QVERIFY(action(u"mnuBBSMoveSub(1)"_s)->isChecked()); // the shown board
        QVERIFY(!action(u"mnuBBSMoveSub(2)"_s)->isChecked());
        const QMenu *dropDown = child<QMenu>(u"Toolbar.BBSList.ButtonMenus"_s);
        QCOMPARE(dropDown->actions().size(), 6);
        // The first count comes from the database, where the message was stored before the event.
        QCOMPARE(m_window->Cbbs().SaveMessage(message(4, 7)), CBBS::Saved);
        m_window->Cbbs().Loaded(message(4, 7));
        QTRY_COMPARE(boardMenu().at(1), u"&2. A&&B (1)"_s);
        m_window->Cbbs().Loaded(message(4, 8));
        QTRY_COMPARE(boardMenu().at(1), u"&2. A&&B (2)"_s);
        QCOMPARE(dropDown->actions().at(2)->text(), u"&2. A&&B (2)"_s);
        m_window->UpdateBBSMenuCaption(4, -2);
        QCOMPARE(boardMenu().at(1), u"&2. A&&B"_s);
        // Counts not yet in the menus when they are rebuilt from storage are not added twice.
        QCOMPARE(m_window->Cbbs().SaveMessage(message(4, 9)), CBBS::Saved);
        m_window->Cbbs().Loaded(message(4, 9));
        QVERIFY(m_window->Boards().LoadBBSList(*gDB));
        QCOMPARE(boardMenu().at(1), u"&2. A&&B (2)"_s);
        m_window->Cbbs().Loaded(message(4, 10)); // in the same batch as message 9 unless that was dropped
        QTRY_COMPARE(boardMenu().at(1), u"&2. A&&B (3)"_s);
        QCOMPARE(list(0).rowCount(), 2);
        child<QMenu>(u"mnuBBSMove"_s)->actions().at(2)->trigger();
        QCOMPARE(mdlOption::BBS_ID, 4);
        QCOMPARE(m_window->windowTitle(), u"A&B - Tessera Ver.0.61"_s);
        QCOMPARE(list(0).rowCount(), 2);
    }

    void loadErrorsGoToTheBoardsErrorLog()
    {
        QVERIFY(startWindow());
        m_window->Cbbs().LoadError(3, u"壊れた記事"_s, u"解析できません"_s);
        QCOMPARE(mdlMain::FromCp932(readFile(m_window->CurrentBBSProperty().GetErrorLogFileName())),
                 u"壊れた記事\r\n===--+--+--+--+--+--+--+--+--+--+--+--+--===\r\n"_s);
    }

    void pageViewsFollowTheShownRange()
    {
        storeBoard(3, 250);
        QVERIFY(startWindow());
        QCOMPARE(list(0).rowCount(), 100);
        QCOMPARE(list(0).Message(0).ID, 250);
        QVERIFY(child<QLabel>(u"lsvMsgList(0).EmptyHint"_s)->isHidden());
        QCOMPARE(child<QLabel>(u"StatusBar.Count"_s)->text(), u"100/100"_s);
        QCOMPARE(action(u"mnuBBSViewSub(1)"_s)->text(), u"前の100件(&P)"_s);
        QVERIFY(!action(u"mnuBBSViewSub(1)"_s)->isEnabled());
        QVERIFY(!action(u"Toolbar.Back"_s)->isEnabled());
        QVERIFY(action(u"Toolbar.Forword"_s)->isEnabled());

        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F8); // one page per key
        QCOMPARE(list(0).Message(0).ID, 150);
        QVERIFY(m_window->ShowView(OlderView));
        QCOMPARE(list(0).rowCount(), 50);
        QCOMPARE(list(0).Message(0).ID, 50);
        QCOMPARE(action(u"mnuBBSViewSub(2)"_s)->text(), u"次の100件(&N)"_s);
        QVERIFY(!action(u"mnuBBSViewSub(2)"_s)->isEnabled());
        QVERIFY(action(u"Toolbar.Back"_s)->isEnabled());
        QCOMPARE(action(u"mnuBBSViewSub(0)"_s)->text(), u"最新の100件(&T)"_s);

        QTest::keyClick(m_window.get(), Qt::Key_F7); // newest first, as every page
        QCOMPARE(list(0).Message(0).ID, 150);
        QCOMPARE(list(0).Message(99).ID, 51);
        // More rows than AddMax, answered No: the first AddMax rows are listed.
        m_prompter.clear();
        m_prompter.pushAnswer(Prompter::No);
        QVERIFY(m_window->ShowView(UnreadView));
        QCOMPARE(m_prompter.texts(), QStringList{u"検索結果が100件を超えました (250件)\n全件表示しますか？\n"
                                                 "(いいえを選択すると最初の100件のみ表示します。)"_s});
        QCOMPARE(list(0).rowCount(), 100);
        QCOMPARE(list(0).Message(0).ID, 250);
    }

    // An empty board says in its list how to receive (a listed board hides it: pageViewsFollowTheShownRange).
    void emptyBoardListShowsHowToReceive()
    {
        QVERIFY(startWindow());
        const QLabel *hint = child<QLabel>(u"lsvMsgList(0).EmptyHint"_s);
        QVERIFY(hint);
        QVERIFY(!hint->isHidden());
        QCOMPARE(hint->text(), u"F5 で受信します"_s);
    }

    // Screen readers announce what a panel shows, also after it changed; the hint is its description.
    void statusPanelsAnnounceTheirText_data()
    {
        QTest::addColumn<QString>("panel");
        for (const char *panel : {"Status", "NoReadPoint", "Count", "Timer"})
            QTest::newRow(panel) << u"StatusBar."_s + QLatin1StringView(panel);
    }

    void statusPanelsAnnounceTheirText()
    {
        QFETCH(QString, panel);
        storeBoard(3, 150);
        QVERIFY(startWindow());
        auto *label = child<QLabel>(panel);
        QCOMPARE(accessibleName(label), label->text());
        QVERIFY(m_window->ShowView(OlderView));
        label->setText(label->text() + u"!"_s);
        QCOMPARE(accessibleName(label), label->text());
        QCOMPARE(label->accessibleDescription(), label->toolTip());
    }

    void otherStatementsGoToListOneOrAreReported()
    {
        listBoards({3, 4}, {0, 1});
        storeBoard(3, 3);
        QVERIFY(startWindow());
        QVERIFY(m_window->ShowSQLResult(u"SELECT BBS_ID, BBS_Name FROM BBS WHERE ListOrder >= 0 ORDER BY BBS_ID"_s, 1));
        QCOMPARE(m_window->ListKind(), 1);
        QAbstractItemModel *rows = m_window->lsvMsgList(1)->model();
        QCOMPARE(rows->columnCount(), 2);
        QCOMPARE(rows->headerData(1, Qt::Horizontal).toString(), u"BBS_Name"_s);
        QCOMPARE(rows->data(rows->index(1, 1)).toString(), u"雑談掲示板"_s);
        QVERIFY(!m_window->lsvMsgList(0)->isVisible());
        QVERIFY(!child<QMenu>(u"mnuMsg"_s)->menuAction()->isVisible());
        QCOMPARE(m_window->windowTitle(), u"検索結果 - Tessera Ver.0.61"_s);
        m_window->ColumnClick(1, 1);
        m_window->ColumnClick(1, 1);
        QCOMPARE(rows->headerData(1, Qt::Horizontal).toString(), u"BBS_Name ▽"_s);
        QCOMPARE(rows->data(rows->index(0, 1)).toString(), u"雑談掲示板"_s);
        // A field name with blanks keeps them when its sort mark goes.
        QVERIFY(m_window->ShowSQLResult(u"SELECT BBS_ID AS [板 の 番号] FROM BBS"_s, 1));
        m_window->ColumnClick(1, 0);
        m_window->ResetColumnHeaders(1, true);
        QCOMPARE(rows->headerData(0, Qt::Horizontal).toString(), u"板 の 番号"_s);

        // List 0 takes messages only; an action statement says what it did, an error why.
        m_prompter.clear();
        QVERIFY(!m_window->ShowSQLResult(u"SELECT BBS_ID FROM BBS"_s, 0));
        QVERIFY(m_window->ShowSQLResult(u"DELETE FROM Message WHERE ID < 3"_s, 0));
        QVERIFY(!m_window->ShowSQLResult(u"SELECT * FROM NoSuchTable"_s, 0));
        QCOMPARE(m_prompter.texts().value(0), u"そんなの表示できない。"_s);
        QCOMPARE(m_prompter.texts().value(1), u"2件削除しました。"_s);
        QVERIFY(m_prompter.texts().value(2).startsWith(u"処理が実行できませんでした。\n\n実行時エラー '"_s));
        QCOMPARE(list(0).rowCount(), 3); // the list keeps its rows
    }

    // A click on "Read" shows the threads; other columns sort, a second click the other way.
    void threadOrderAndHeaderClicks()
    {
        storeBoard(3, 4);
        sql(u"UPDATE Message SET InReplyTo = 1 WHERE ID IN (2, 3)"_s);
        sql(u"UPDATE Message SET InReplyTo = 2 WHERE ID = 4"_s);
        QVERIFY(startWindow());
        m_window->ColumnClick(0, MessageListModel::ColRead); // threads: 1, 3, 2, 4
        QCOMPARE(list(0).Message(1).ID, 3);
        QCOMPARE(list(0).Message(3).ID, 4);
        QCOMPARE(list(0).CellText(3, MessageListModel::ColSubject), u"　　題名4"_s);

        QAbstractItemModel *model = m_window->lsvMsgList(0)->model();
        const auto header = [model](int column) { return model->headerData(column, Qt::Horizontal).toString(); };
        m_window->ColumnClick(0, MessageListModel::ColID);
        QCOMPARE(header(MessageListModel::ColID), u"番号 △"_s);
        QCOMPARE(list(0).CellText(3, MessageListModel::ColSubject), u"題名4"_s);
        m_window->ColumnClick(0, MessageListModel::ColID);
        QCOMPARE(header(MessageListModel::ColID), u"番号 ▽"_s);
        QCOMPARE(list(0).Message(0).ID, 4);
        m_window->ColumnClick(0, MessageListModel::ColSubject);
        QCOMPARE(header(MessageListModel::ColSubject), u"題名 △"_s);
        QCOMPARE(header(MessageListModel::ColID), u"番号"_s);
    }

    void bodyLinesAreColouredByKind()
    {
        store({message(3, 1, u"普通の行\r\n  > 引用\r\n＞全角\r\n＃ 123 参照\r\n#\r\n文中の > は黒"_s)});
        QVERIFY(startWindow());
        QCOMPARE(lineColours(), (QStringList{u"#000000"_s, u"#000080"_s, u"#000080"_s, u"#008000"_s,
                                             u"#008000"_s, u"#000000"_s}));
        QCOMPARE(pane()->toPlainText(), u"普通の行\n  > 引用\n＞全角\n＃ 123 参照\n#\n文中の > は黒\n"_s);
        QCOMPARE(pane()->textCursor().position(), 0);
    }

    void markupInBodiesAndAddressesStaysText()
    {
        const QString body = u"<b>太字</b> <img src=\"http://127.0.0.1:9/x.png\"> &lt; {\\rtf1\\b x}"_s;
        CMessage evil = message(3, 1, body);
        evil.HomePage = u"file:///etc/passwd"_s;
        CMessage fine = message(3, 2);
        fine.HomePage = u"https://example.com/<b>"_s;
        fine.Mail = u"a@example.com"_s;
        store({evil, fine});
        QVERIFY(startWindow());
        m_window->ShowMessage(0, list(0).RowOf(3, 1), false);
        QCOMPARE(pane()->toPlainText(), body + u'\n');
        auto *homePage = child<uClickableLabel>(u"uclHomepage"_s);
        QVERIFY(homePage->isVisible());
        QCOMPARE(homePage->Label()->text(), u"file:///etc/passwd"_s);
        QVERIFY(!child<uClickableLabel>(u"uclMailto"_s)->isVisible());

        m_window->ShowMessage(0, list(0).RowOf(3, 2), false);
        QCOMPARE(homePage->Label()->textFormat(), Qt::PlainText);
        QTest::mouseClick(homePage, Qt::LeftButton);
        QTest::mouseClick(child<uClickableLabel>(u"uclMailto"_s), Qt::LeftButton);
        QCOMPARE(m_opened.size(), 2);
        QCOMPARE(m_opened.at(1).toString(), u"mailto:a@example.com"_s);

        m_window->SelectBoard(4); // an empty board: no message, so no address
        QVERIFY(!child<uClickableLabel>(u"uclMailto"_s)->isVisible());
        QVERIFY(!homePage->isVisible());
    }

    void largeBodiesShowInShortBlocks_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("many lines") << u"> これは長い本文の引用行です。\r\nこれは普通の行です。\r\n"_s;
        QTest::newRow("one line") << u"> これは長い本文の引用行です。これも同じ行です。"_s;
    }

    // One very long block freezes the pane's layout: no block may be longer than 8192 characters.
    void largeBodiesShowInShortBlocks()
    {
        QFETCH(QString, line);
        QString body;
        while (body.size() < 1024 * 1024)
            body += line;
        store({message(3, 1, body)});
        QVERIFY(startWindow());
        const QTextDocument *doc = pane()->document();
        int longest = 0;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
            longest = std::max(longest, block.length() - 1);
        QVERIFY(longest <= 8192);
        // The pane holds the body's characters, whatever its blocks.
        QString shown = pane()->toPlainText();
        QCOMPARE(shown.remove(u'\n'), QString(body).remove(u"\r\n"_s));
    }

    /** The list's share of the bar's travel, in percent. */
    int listShare() const
    {
        const auto *sep = child<uSeparator>(u"sep"_s);
        return qRound(100.0 * sep->Offset() / (sep->height() - uSeparator::BarThickness));
    }

    // Without a saved position the list has half the height, and it keeps its share when the
    // window is resized; the last column takes the width the others leave.
    void listKeepsItsShareAndTheLastColumnTheRest()
    {
        QVERIFY(startWindow());
        QCOMPARE(listShare(), 50);
        m_window->resize(1920, 1080);
        QCOMPARE(listShare(), 50);
        const QHeaderView *header = m_window->lsvMsgList(0)->header();
        QCOMPARE(header->length(), header->viewport()->width());
        child<uSeparator>(u"sep"_s)->setOffset(100); // dragged
        const int dragged = listShare();
        m_window->resize(800, 600);
        QCOMPARE(listShare(), dragged);
    }

    void windowStateRoundTripsThroughTheSettingsFile_data()
    {
        QTest::addColumn<bool>("maximised");
        QTest::newRow("normal") << false;
        // Written as the normal window, the bar too; maximised again, the list has the same share.
        QTest::newRow("maximised") << true;
    }

    void windowStateRoundTripsThroughTheSettingsFile()
    {
        QFETCH(bool, maximised);
        QVERIFY(startWindow());
        m_window->setGeometry(40, 50, 800, 600);
        child<uSeparator>(u"sep"_s)->setOffset(150);
        const int share = listShare();
        m_window->lsvMsgList(0)->header()->resizeSection(2, 200);
        m_window->FindHistory().AddMRU(u"検索語"_s);
        if (maximised) {
            m_window->showMaximized();
            QTRY_VERIFY(m_window->height() > 600);
        }
        m_window->close();
        m_window.reset();
        CIniFile ini;
        QVERIFY(ini.Load(mdlMain::SettingsFilePath()));
        ini.setNowSection(u"Position"_s);
        QCOMPARE(ini.Data(u"Left"_s), u"600"_s);
        QCOMPARE(ini.Data(u"Width"_s), u"12000"_s);
        QCOMPARE(ini.Data(u"ListItem3"_s), u"3000"_s);
        QCOMPARE(ini.Data(u"Separator"_s), u"2250"_s);
        ini.setNowSection(u"FindText"_s);
        QCOMPARE(ini.Data(u"1"_s), u"検索語"_s);

        QVERIFY(startWindow());
        QCOMPARE(m_window->normalGeometry(), QRect(40, 50, 800, 600));
        QTRY_COMPARE(m_window->height() > 600, maximised);
        QCOMPARE(listShare(), share);
        QCOMPARE(m_window->lsvMsgList(0)->header()->sectionSize(2), 200);
        QCOMPARE(m_window->FindHistory().MRUList(), QStringList{u"検索語"_s});
    }

    void unusableSavedPositionIsIgnored_data()
    {
        QTest::addColumn<QByteArray>("position");
        QTest::newRow("bad state and width") << "WindowState=3\r\nWidth=x\r\n"_ba;
        // A monitor since disconnected would leave the window out of reach.
        QTest::newRow("on no screen") << "Left=-9000000\r\nTop=0\r\n"_ba;
    }

    void unusableSavedPositionIsIgnored()
    {
        QFETCH(QByteArray, position);
        writeFile(mdlMain::SettingsFilePath(), "[Option]\r\nBBS_ID=3\r\n[Position]\r\n" + position);
        QVERIFY(startWindow());
        QCOMPARE(m_window->windowState(), Qt::WindowNoState);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(m_window->geometry()));
    }

    // The shown board's row is written at close; a refusal is said, not passed over.
    void boardRowRefusedAtCloseIsReported()
    {
        QVERIFY(startWindow());
        const QString name = m_window->CurrentBBSProperty().BBS_Name();
        QVERIFY(gDB->Execute(u"CREATE TRIGGER Refuse BEFORE UPDATE ON BBS BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        m_prompter.clear();
        m_window->close();
        QCOMPARE(m_prompter.records().size(), 1);
        QVERIFY(m_prompter.texts().first().startsWith(name + u"の設定をデータベースに保存できませんでした。"_s));
    }

    void noListedBoardEndsTheProgram()
    {
        listBoards({}, {});
        QVERIFY(!startWindow());
        QCOMPARE(m_prompter.records().last().icon, Prompter::Icon::Critical);
        QCOMPARE(m_prompter.texts().last(), u"表示すべき掲示板が見当たりませんので終わっちゃいます。\n"
                                             "log.mdbのBBS.ListOrderあたりをチェックしてね♪\n"
                                             "全部-1だと表示されないぞ。"_s);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!gDB);
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
        CTray::setAvailabilityHandler([trayAvailable] { return trayAvailable; });
        writeFile(mdlMain::SettingsFilePath(), "[Option]\r\nBBS_ID=3\r\n" + options);
        QVERIFY(startWindow());
        m_window->showMinimized();
        QCoreApplication::processEvents();
        QTEST(m_window->isHidden(), "hidden");
    }
};

QTEST_MAIN(TestFrmView)
#include "tst_frmview.moc"
