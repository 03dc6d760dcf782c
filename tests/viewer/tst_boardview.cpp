#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "support/BoardSimulator.h"
#include "support/TestFiles.h"
#include "transfer/CBBS.h"
#include "viewer/BoardView.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

/** A board view over boards of the board simulator, with a cache folder of its own. */
class TestBoardView : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;
    std::unique_ptr<BoardSimulator> m_server;
    QStringList m_opened;

    /** Board "zatsudan" of @p type, whose page shows the subject "ようこそ". */
    CBBSProperty board(int type = 0)
    {
        const int number = m_server->addBoard(type, u"/cgi-bin/zatsudan.cgi"_s, u"zatsudan"_s);
        BoardMessage message = LogFormat::sampleMessage(1);
        message.subject = u"ようこそ"_s;
        m_server->addMessage(number, message);
        CBBSProperty property;
        property.SetBBS_Name(u"雑談掲示板"_s);
        property.SetURL(m_server->url(number));
        property.SetBBSType(type);
        property.SetIdentifier(u"zatsudan"_s);
        return property;
    }

    QString cacheFile() const { return m_home->filePath(u"cache/zatsudan.html"_s); }
    QString cachedText() const { return mdlMain::FromCp932(readFile(cacheFile())); }

    void writeCache(const QString &body, int ageSecs)
    {
        writeFile(cacheFile(), mdlMain::ToCp932(u"<html><body>"_s + body + u"</body></html>"_s));
        QFile file(cacheFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

    /** Shows @p property in @p view; the cache lines it gave go to @p messages. */
    bool show(BoardView &view, const CBBSProperty &property, QStringList *messages = nullptr)
    {
        QSignalSpy complete(&view, &BoardView::DocumentComplete);
        if (messages)
            connect(&view, &BoardView::CacheMessage, this, [messages](const QString &text) { *messages << text; });
        view.ShowBoard(property);
        return !complete.isEmpty() || complete.wait(5000);
    }

private slots:
    void initTestCase()
    {
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened << url.toString();
            return true;
        });
    }

    void init()
    {
        m_options = std::make_unique<mdlOption::OptionsGuard>();
        m_home = std::make_unique<QTemporaryDir>();
        QDir(m_home->path()).mkpath(u"cache"_s);
        mdlOption::CacheFilePath = m_home->filePath(u"cache"_s);
        m_server = std::make_unique<BoardSimulator>();
        QVERIFY(m_server->listen());
        m_opened.clear();
    }

    void cleanup()
    {
        m_server.reset();
        m_options.reset();
    }

    void livePageIsShownAndCached()
    {
        BoardView view;
        QStringList messages;
        QVERIFY(show(view, board(), &messages));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
        QTRY_COMPARE(messages, QStringList{u"雑談掲示板をキャッシュに保存しました。"_s});
        QVERIFY(cachedText().contains(u"ようこそ"_s));
    }

    void cacheIsWrittenAfterTheViewHasClosed()
    {
        {
            BoardView view;
            QVERIFY(show(view, board()));
        }
        QTRY_VERIFY(cachedText().contains(u"ようこそ"_s));
    }

    void cacheIsShownWhileLessThanADayOld_data()
    {
        QTest::addColumn<int>("ageSecs");
        QTest::addColumn<QString>("shown");
        QTest::newRow("an hour") << 3600 << u"保存した頁"_s;
        QTest::newRow("25 hours") << 25 * 3600 << u"ようこそ"_s;
        QTest::newRow("in the future") << -3600 << u"ようこそ"_s;
    }

    void cacheIsShownWhileLessThanADayOld()
    {
        QFETCH(int, ageSecs);
        QFETCH(QString, shown);
        writeCache(u"保存した頁"_s, ageSecs);
        BoardView view;
        QVERIFY(show(view, board()));
        QVERIFY(view.toPlainText().contains(shown));
    }

    void pairedBoardPageIsNeverCached()
    {
        BoardView view;
        QStringList messages;
        QVERIFY(show(view, board(1), &messages));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
        QCOMPARE(messages, QStringList{});
        QVERIFY(!QFile::exists(cacheFile()));
    }

    void cacheThatCannotBeWrittenIsReported_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("notWritten");
        QTest::newRow("no cache folder") << u"missing"_s << u"zatsudan"_s << u"missing"_s;
        QTest::newRow("identifier naming another folder") << u"cache"_s << u"../zatsudan"_s << u"zatsudan.html"_s;
    }

    void cacheThatCannotBeWrittenIsReported()
    {
        QFETCH(QString, folder);
        QFETCH(QString, identifier);
        QFETCH(QString, notWritten);
        mdlOption::CacheFilePath = m_home->filePath(folder);
        CBBSProperty property = board();
        property.SetIdentifier(identifier);
        BoardView view;
        QStringList messages;
        QVERIFY(show(view, property, &messages));
        QTRY_COMPARE(messages, QStringList{u"雑談掲示板をキャッシュに保存できませんでした。"_s});
        QVERIFY(!QFileInfo::exists(m_home->filePath(notWritten)));
    }

    void errorAnswerKeepsTheOldCache()
    {
        writeCache(u"古い頁"_s, 25 * 3600);
        m_server->setFault({});
        BoardView view;
        QStringList messages;
        QVERIFY(show(view, board(), &messages));
        QCOMPARE(messages, QStringList{u"雑談掲示板をキャッシュに保存できませんでした。"_s});
        QVERIFY(cachedText().contains(u"古い頁"_s));
    }

    void pageOverTheBoundIsRefused()
    {
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::HugeBody;
        fault.hugeBytes = CBBS::MaxBodyBytes + 1;
        m_server->setFault(fault);
        BoardView view;
        view.ShowBoard(board());
        QTRY_VERIFY_WITH_TIMEOUT(view.toPlainText().contains(u"64MBを超えた"_s), 10000);
        QVERIFY(!QFile::exists(cacheFile()));
    }

    void noPictureIsFetchedNorReadFromDisk()
    {
        const QString picture = m_home->filePath(u"picture.png"_s);
        QImage(8, 8, QImage::Format_RGB32).save(picture);
        writeCache(u"<img src=\"%1/picture.png\"><img src=\"%2\">"_s.arg(m_server->baseUrl(), QUrl::fromLocalFile(picture).toString()), 60);
        BoardView view;
        QVERIFY(show(view, board()));
        view.grab(); // lays the page out and paints it, pictures included
        QCOMPARE(m_server->requests().size(), 0);
        QVERIFY(view.document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(picture)).isNull());
    }

    void linksOpenInTheBrowserForWebAndMailOnly_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("http") << u"http://example.jp/a.html"_s << QStringList{u"http://example.jp/a.html"_s};
        QTest::newRow("relative") << u"howto.html"_s << QStringList{u"BASE/cgi-bin/howto.html"_s};
        QTest::newRow("file") << u"file:///etc/passwd"_s << QStringList{};
        QTest::newRow("script") << u"javascript:alert(1)"_s << QStringList{};
    }

    void linksOpenInTheBrowserForWebAndMailOnly()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, opened);
        BoardView view;
        QVERIFY(show(view, board()));
        emit view.anchorClicked(QUrl(link));
        QCOMPARE(m_opened, opened.replaceInStrings(u"BASE"_s, m_server->baseUrl()));
    }
};

QTEST_MAIN(TestBoardView)
#include "tst_boardview.moc"
