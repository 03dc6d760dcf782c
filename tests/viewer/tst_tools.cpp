#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "support/OtherProcess.h"
#include "viewer/WindowTest.h"

#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QTreeView>
#include <archive.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

/** Compaction, help, the about box and the board pages over board 3 with three messages. */
class TestTools : public WindowTest
{
    Q_OBJECT

    QList<QUrl> m_opened;

    void storeThree()
    {
        QList<CMessage> messages;
        for (int id = 1; id <= 3; ++id) {
            CMessage m;
            m.BBS_ID = 3;
            m.ID = id;
            m.Subject = u"題名"_s;
            m.PostName = u"投稿者"_s;
            m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, id));
            m.Body = QString(2000, u'x');
            messages.append(m);
        }
        store(messages);
    }

    int storedMessages() { return sqliteTool(mdlMain::LogDatabasePath(), u"SELECT count(*) FROM Message"_s).toInt(); }
    int listedMessages() { return m_window->Lists().lsvMsgList(0).rowCount(); }
    void trigger(const QString &name) { child<QAction>(name)->trigger(); }
    QString lastMessage() const { return m_prompter.texts().value(m_prompter.texts().size() - 1); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=3\r\nReadTiming=1000\r\n");
        storeThree();
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

    void compactionReopensTheDatabaseAndSaysSo()
    {
        QVERIFY(startWindow());
        m_prompter.pushAnswer(Prompter::Ok);
        trigger(u"mnuToolCompDB"_s);
        QCOMPARE(lastMessage(), u"最適化が完了しました。"_s);
        QCOMPARE(storedMessages(), 3);
        QCOMPARE(listedMessages(), 3);
        QVERIFY(m_window->isVisible());
    }

    void cancelledCompactionKeepsTheOpenDatabase()
    {
        QVERIFY(startWindow());
        const Database *before = gDB.get();
        m_prompter.pushAnswer(Prompter::Cancel);
        trigger(u"mnuToolCompDB"_s);
        QCOMPARE(gDB.get(), before);
        QCOMPARE(m_prompter.records().size(), 1);
    }

    void compactionRefusedBesideAnotherProcessKeepsRunning()
    {
        QVERIFY(startWindow());
        OtherProcess other(mdlMain::LogDatabasePath());
        QVERIFY(other.held);
        m_prompter.pushAnswer(Prompter::Ok);
        trigger(u"mnuToolCompDB"_s);
        QVERIFY(lastMessage().startsWith(u"最適化に失敗しました。"_s));
        QVERIFY(m_window->isVisible());
        QCOMPARE(listedMessages(), 3);
    }

    void failedCompactionReopensAndKeepsEveryMessage()
    {
        QVERIFY(startWindow());
        // A transaction left open makes the engine refuse to compact.
        QVERIFY(gDB->BeginTrans());
        m_prompter.pushAnswer(Prompter::Ok);
        trigger(u"mnuToolCompDB"_s);
        QVERIFY(lastMessage().startsWith(u"最適化に失敗しました。"_s));
        QVERIFY(gDB);
        QVERIFY(m_window->isVisible());
        QCOMPARE(storedMessages(), 3);
        QCOMPARE(listedMessages(), 3);
        // The window works on the reopened database: a new view is read from it.
        QVERIFY(m_window->ShowView(4));
    }

    void helpOpensTheReadMeOfTheProgramFolder()
    {
        writeFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s, "Tessera\n");
        QVERIFY(startWindow());
        trigger(u"mnuHelpHelp"_s);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s)});
        QCOMPARE(m_prompter.records().size(), 0);
    }

    void helpWithoutReadMeSaysSo()
    {
        QVERIFY(startWindow());
        trigger(u"mnuHelpHelp"_s);
        QCOMPARE(lastMessage(), u"ヘルプファイル(ReadMe.txt)が開けませんでした。"_s);
    }

    void aboutBoxShowsTheLibraryVersions()
    {
        QVERIFY(startWindow());
        trigger(u"mnuHelpVerinfo"_s);
        auto *about = child<QDialog>(u"frmAbout"_s);
        QVERIFY(about);
        QCOMPARE(about->findChild<QLabel *>(u"lblQtVersion"_s)->text(), u"Qt "_s + QString::fromLatin1(qVersion()));
        QCOMPARE(about->findChild<QLabel *>(u"lblSQLiteVersion"_s)->text(), u"SQLite "_s + QString::fromLatin1(sqlite3_libversion()));
        QCOMPARE(about->findChild<QLabel *>(u"lblArchiveVersion"_s)->text(), QString::fromLatin1(archive_version_string()));
        about->close();
    }

    void boardPagesOpenInTheBrowser_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("address");
        // Board 3 is shown as its own address (type 3) and shares the rules page.
        const QString board = mdlDatabase::DefaultBoard3URL();
        QTest::newRow("board") << u"mnuBBSBrowse"_s << board;
        QTest::newRow("display settings") << u"mnuBBSShowCookiePage"_s << board + u"?dousa=showcookiepage"_s;
        QTest::newRow("rules") << u"mnuBBSKiyaku"_s << mdlDatabase::SharedHowtouseURL();
        QTest::newRow("site") << u"mnuHelpKestrel"_s << mdlDatabase::BoardSiteURL();
    }

    void boardPagesOpenInTheBrowser()
    {
        QFETCH(QString, item);
        QFETCH(QString, address);
        QVERIFY(startWindow());
        trigger(item);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(address)});
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
