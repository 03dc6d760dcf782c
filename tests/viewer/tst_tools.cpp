#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "viewer/WindowTest.h"

#include <QClipboard>

using namespace Qt::StringLiterals;

/** The body pane's pop-up and the tool and help commands, over board 3 (short name QA). */
class TestTools : public WindowTest
{
    Q_OBJECT

    QList<QUrl> m_opened;

    void storeMessage(int id, const QString &subject, const QString &body)
    {
        CMessage m = message(3, id, body);
        m.Subject = subject;
        store({m});
    }

    /** Selects the shown body from the start of @p first to the end of @p last. */
    void selectInPane(const QString &first, const QString &last)
    {
        QTextCursor cursor = pane()->document()->find(first);
        cursor.setPosition(pane()->document()->find(last).selectionEnd(), QTextCursor::KeepAnchor);
        pane()->setTextCursor(cursor);
    }

    /** Opens the body pop-up with Shift+F10; false when it did not open. */
    bool openTextMenu()
    {
        pane()->setFocus();
        QTest::keyClick(pane(), Qt::Key_F10, Qt::ShiftModifier);
        return child<QMenu>(u"mnuText"_s)->isVisible();
    }

    void runTextCommand(const QString &name)
    {
        QVERIFY(openTextMenu());
        child<QAction>(name)->trigger();
        child<QMenu>(u"mnuText"_s)->close();
    }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nReadTiming=0\r\n"
                    "[WebSearch]\r\n&Beta=http://b.example/?q=%s&n=1\r\n&Alpha=http://a.example/%s\r\n");
        sql(u"UPDATE BBS SET ShortName = 'QA' WHERE BBS_ID = 3"_s);
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void cleanup()
    {
        closeWindow();
        mdlExecuteLite::setShellOpenHandler({});
    }

    // The header's number has no leading zeros; every line is quoted.
    void copyWithHeaderQuotesEveryLine()
    {
        storeMessage(120, u"題名"_s, u"line one\r\nline two"_s);
        QVERIFY(startWindow());
        selectInPane(u"line one"_s, u"line two"_s);
        runTextCommand(u"mnuTextCopyHeader"_s);
        QCOMPARE(QApplication::clipboard()->text(), u"QA#120 題名 より引用\r\n> line one\r\n> line two"_s);
    }

    void webSearchesInFileOrderOpenTheEncodedSelection()
    {
        storeMessage(1, u"題名"_s, u"検索 a&b"_s);
        QVERIFY(startWindow());
        selectInPane(u"検索 a&b"_s, u"検索 a&b"_s);
        runTextCommand(u"mnuTextWebSearch(0)"_s);
        QCOMPARE(child<QAction>(u"mnuTextWebSearch(0)"_s)->text(), u"&Beta"_s);
        QCOMPARE(child<QAction>(u"mnuTextWebSearch(1)"_s)->text(), u"&Alpha"_s);
        QCOMPARE(m_opened.value(0).toEncoded(), QByteArray("http://b.example/?q=%8C%9F%8D%F5%20a%26b&n=1"));
    }

    void addressCommandOpensOnlyWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("opened");
        QTest::newRow("broken over two lines") << u"https://example.jp/\r\nlong"_s << u"https://example.jp/long"_s;
        QTest::newRow("file address") << u"file:///etc/passwd"_s << QString();
    }

    void addressCommandOpensOnlyWebAndMailAddresses()
    {
        QFETCH(QString, body);
        QFETCH(QString, opened);
        storeMessage(1, u"題名"_s, body);
        QVERIFY(startWindow());
        selectInPane(body.section(u"\r\n"_s, 0, 0), body.section(u"\r\n"_s, -1));
        runTextCommand(u"mnuTextURL"_s);
        QCOMPARE(m_opened.value(0).toString(), opened);
        QCOMPARE(m_prompter.records().size(), opened.isEmpty() ? 1 : 0);
    }

    void addressesThatCannotOpenAreReported_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("url"); // board 3's address
        QTest::addColumn<QString>("said");
        const QString board = u"http://example.jp/bbs.cgi"_s;
        const QString noBrowser = u"ブラウザを起動できませんでした。"_s;
        QTest::newRow("Kestrel") << u"mnuHelpKestrel"_s << board << noBrowser;
        QTest::newRow("customise") << u"mnuBBSShowCookiePage"_s << board << noBrowser;
        QTest::newRow("board page") << u"mnuBBSBrowse"_s << board << noBrowser;
        QTest::newRow("post") << u"mnuBBSNew"_s << board << noBrowser;
        QTest::newRow("post, board address no web address") << u"mnuBBSNew"_s << u"not a url"_s << u"このアドレスは開けません。"_s;
    }

    // No browser could be started (the desktop refused), or the address is none: the user is told.
    void addressesThatCannotOpenAreReported()
    {
        QFETCH(QString, item);
        QFETCH(QString, url);
        QFETCH(QString, said);
        sql(u"UPDATE BBS SET URL = '%1' WHERE BBS_ID = 3"_s.arg(url));
        QVERIFY(startWindow());
        mdlExecuteLite::setShellOpenHandler([](const QUrl &) { return false; });
        child<QAction>(item)->trigger();
        QCOMPARE(m_prompter.records().size(), 1);
        QCOMPARE(m_prompter.texts().value(0).section(u'\n', 0, 0), said);
    }

    void bodySearchFindsExactlyTheSelectedText_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("selected");
        QTest::newRow("quote and wildcard") << u"say it's *x ok"_s << u"it's *x"_s;
        QTest::newRow("over two lines") << u"line one\r\nline two"_s << u"line one\r\nline two"_s;
    }

    // Message 2 holds the selection's words but not the selection: the results list only message 1.
    void bodySearchFindsExactlyTheSelectedText()
    {
        QFETCH(QString, body);
        QFETCH(QString, selected);
        storeMessage(1, u"題名"_s, body);
        storeMessage(2, u"題名"_s, u"it's yx line one two"_s);
        QVERIFY(startWindow());
        m_window->ShowMessage(0, 1, false);
        selectInPane(selected.section(u"\r\n"_s, 0, 0), selected.section(u"\r\n"_s, -1));
        m_dialogs.showSQL = [](const QString &sql) { return sql; };
        runTextCommand(u"mnuTextFind"_s);
        QCOMPARE(m_window->Lists().CurrentList(), 1);
        QCOMPARE(list(1).rowCount(), 1);
        QCOMPARE(list(1).Message(0).ID, 1);
        QCOMPARE(child<QComboBox>(u"cmbFindText"_s)->currentText(), selected);
        QCOMPARE(m_window->LastQuery(), frmView::QueryTemplate(3, selected));
    }

    void compactionKeepsEveryMessageAndSaysSo_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("said");
        QTest::newRow("compacted") << false << u"最適化が完了しました。"_s;
        QTest::newRow("failed") << true << u"最適化に失敗しました。"_s;
    }

    // A failed compaction goes on with the reopened database.
    void compactionKeepsEveryMessageAndSaysSo()
    {
        QFETCH(bool, fails);
        QFETCH(QString, said);
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        if (fails)
            QVERIFY(gDB->BeginTrans()); // the engine does not compact inside a transaction
        m_window->ColumnClick(0, MessageListModel::ColName);
        child<QAction>(u"mnuToolCompDB"_s)->trigger();
        QVERIFY(m_prompter.texts().last().startsWith(said));
        QVERIFY(m_window->isVisible());
        QCOMPARE(sqliteTool(mdlMain::LogDatabasePath(), u"SELECT count(*) FROM Message"_s), u"1"_s);
        // The list is read again in number order: the sort mark has gone.
        QCOMPARE(list(0).headerData(MessageListModel::ColName, Qt::Horizontal).toString(), u"投稿者"_s);
        QVERIFY(m_window->ShowView(AllView)); // the window reads from the reopened database
        QCOMPARE(list(0).rowCount(), 1);
    }

    void helpOpensTheReadMeOfTheProgramFolder_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("present: opened") << true;
        QTest::newRow("missing: said so") << false;
    }

    void helpOpensTheReadMeOfTheProgramFolder()
    {
        QFETCH(bool, present);
        const QString readMe = mdlApp::GetAppPath() + u"ReadMe.txt"_s;
        if (present)
            writeFile(readMe, "Tessera\n");
        QVERIFY(startWindow());
        if (!present) // the start wrote the program's own copy; the user deleted it since
            QVERIFY(QFile::remove(readMe));
        child<QAction>(u"mnuHelpHelp"_s)->trigger();
        QCOMPARE(m_opened.value(0), present ? QUrl::fromLocalFile(readMe) : QUrl());
        QCOMPARE(m_prompter.records().size(), present ? 0 : 1);
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
