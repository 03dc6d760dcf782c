#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "viewer/WindowTest.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <archive.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

/** The body pane's pop-up and the tool and help commands, over board 3 (short name QA). */
class TestTools : public WindowTest
{
    Q_OBJECT

    QList<QUrl> m_opened;

    void storeMessage(int id, const QString &subject, const QString &body)
    {
        CMessage m;
        m.BBS_ID = 3;
        m.ID = id;
        m.Subject = subject;
        m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0));
        m.Body = body;
        store({m});
    }

    /** Selects the shown body from the start of @p first to the end of @p last. */
    void selectInPane(const QString &first, const QString &last)
    {
        auto *pane = child<QPlainTextEdit>(u"rtbView"_s);
        QTextCursor cursor = pane->document()->find(first);
        cursor.setPosition(pane->document()->find(last).selectionEnd(), QTextCursor::KeepAnchor);
        pane->setTextCursor(cursor);
    }

    /** Opens the body pop-up; false when it did not open. */
    bool openTextMenu()
    {
        emit child<QPlainTextEdit>(u"rtbView"_s)->customContextMenuRequested(QPoint(5, 5));
        return child<QMenu>(u"mnuText"_s)->isVisible();
    }

    void runTextCommand(const QString &name)
    {
        QVERIFY(openTextMenu());
        child<QAction>(name)->trigger();
        child<QMenu>(u"mnuText"_s)->close();
    }

    QString lastMessage() const { return m_prompter.texts().value(m_prompter.texts().size() - 1); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

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

    void copyWithHeaderQuotesEveryLine()
    {
        storeMessage(42, u"Re: x"_s, u"line one\r\nline two"_s);
        QVERIFY(startWindow());
        selectInPane(u"line one"_s, u"line two"_s);
        runTextCommand(u"mnuTextCopyHeader"_s);
        QCOMPARE(QApplication::clipboard()->text(), u"QA#42 Re: x より引用\r\n> line one\r\n> line two"_s);
    }

    void headerNumberHasNoLeadingZeros()
    {
        storeMessage(120, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        mdlOption::ReplyHeader = u"[%I]"_s;
        selectInPane(u"本文"_s, u"本文"_s);
        runTextCommand(u"mnuTextCopyHeader"_s);
        QCOMPARE(QApplication::clipboard()->text(), u"[120]"_s);
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

    void emptyWebSearchSectionGivesNoItems()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\n[WebSearch]\r\n");
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        selectInPane(u"本文"_s, u"本文"_s);
        QVERIFY(openTextMenu());
        QVERIFY(!child<QAction>(u"mnuTextWebSearch(0)"_s));
        QVERIFY(!child<QAction>(u"mnuTextWebSearchSeparator"_s)->isVisible());
    }

    void addressCommandOpensOnlyWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("opened");
        QTest::newRow("www without scheme") << u"www.example.jp/a"_s << u"http://www.example.jp/a"_s;
        QTest::newRow("broken over two lines") << u"https://example.jp/\r\nlong"_s << u"https://example.jp/long"_s;
        QTest::newRow("file address") << u"file:///etc/passwd"_s << QString();
        QTest::newRow("local path") << u"/usr/bin/xterm"_s << QString();
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

    void bodySearchFindsASelectionOverTwoLines()
    {
        storeMessage(1, u"題名"_s, u"line one\r\nline two"_s);
        QVERIFY(startWindow());
        selectInPane(u"line one"_s, u"line two"_s);
        m_dialogs.showSQL = [](const QString &sql) { return sql; };
        runTextCommand(u"mnuTextFind"_s);
        QCOMPARE(m_window->Lists().lsvMsgList(1).rowCount(), 1);
        QCOMPARE(child<QComboBox>(u"cmbFindText"_s)->currentText(), u"line one\r\nline two"_s);
    }

    void compactionKeepsEveryMessageAndSaysSo()
    {
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        child<QAction>(u"mnuToolCompDB"_s)->trigger();
        QCOMPARE(lastMessage(), u"最適化が完了しました。"_s);
        QCOMPARE(m_window->Lists().lsvMsgList(0).rowCount(), 1);
    }

    void failedCompactionGoesOnWithTheReopenedDatabase()
    {
        storeMessage(1, u"題名"_s, u"本文"_s);
        QVERIFY(startWindow());
        QVERIFY(gDB->BeginTrans()); // the engine does not compact inside a transaction
        child<QAction>(u"mnuToolCompDB"_s)->trigger();
        QVERIFY(lastMessage().startsWith(u"最適化に失敗しました。"_s));
        QVERIFY(m_window->isVisible());
        QCOMPARE(sqliteTool(mdlMain::LogDatabasePath(), u"SELECT count(*) FROM Message"_s), u"1"_s);
        QVERIFY(m_window->ShowView(AllView)); // the window reads from the reopened database
        QCOMPARE(m_window->Lists().lsvMsgList(0).rowCount(), 1);
    }

    void helpOpensTheReadMeOfTheProgramFolder()
    {
        writeFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s, "Tessera\n");
        QVERIFY(startWindow());
        child<QAction>(u"mnuHelpHelp"_s)->trigger();
        QCOMPARE(m_opened.value(0), QUrl::fromLocalFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s));
    }

    void helpWithoutReadMeSaysSo()
    {
        QVERIFY(startWindow());
        child<QAction>(u"mnuHelpHelp"_s)->trigger();
        QCOMPARE(lastMessage(), u"ヘルプファイル(ReadMe.txt)が開けませんでした。"_s);
    }

    void aboutBoxShowsTheLibraryVersions()
    {
        QVERIFY(startWindow());
        child<QAction>(u"mnuHelpVerinfo"_s)->trigger();
        auto *about = child<QDialog>(u"frmAbout"_s);
        QCOMPARE(about->findChild<QLabel *>(u"lblQtVersion"_s)->text(), u"Qt "_s + QString::fromLatin1(qVersion()));
        QCOMPARE(about->findChild<QLabel *>(u"lblSQLiteVersion"_s)->text(), u"SQLite "_s + QString::fromLatin1(sqlite3_libversion()));
        QCOMPARE(about->findChild<QLabel *>(u"lblArchiveVersion"_s)->text(), QString::fromLatin1(archive_version_string()));
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
