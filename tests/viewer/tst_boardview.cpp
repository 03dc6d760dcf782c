#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "db/CookieStore.h"
#include "support/BoardSimulator.h"
#include "support/TestFiles.h"
#include "transfer/CBBS.h"
#include "viewer/BoardView.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

/** A board view over boards of the board simulator, with a cache folder of its own. */
class TestBoardView : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;
    std::unique_ptr<CookieStore> m_cookies;
    std::unique_ptr<BoardSimulator> m_server;
    QStringList m_opened;

    CBBSProperty board(int type, const QString &identifier = u"zatsudan"_s)
    {
        const int number = m_server->addBoard(type, u"/cgi-bin/%1.cgi"_s.arg(identifier), identifier);
        BoardMessage message = LogFormat::sampleMessage(1);
        message.subject = u"ようこそ"_s;
        m_server->addMessage(number, message);
        CBBSProperty property;
        property.SetBBS_Name(u"雑談掲示板"_s);
        property.SetURL(m_server->url(number));
        property.SetBBSType(type);
        property.SetIdentifier(identifier);
        return property;
    }

    QString cacheFile(const QString &identifier = u"zatsudan"_s) const
    {
        return m_home->filePath(u"cache/"_s + identifier + u".html"_s);
    }

    void writeCache(const QString &html, int ageSecs)
    {
        writeFile(cacheFile(), mdlMain::ToCp932(html));
        QFile file(cacheFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSecs), QFileDevice::FileModificationTime));
    }

    QString cachedText() const { return mdlMain::FromCp932(readFile(cacheFile())); }

    /** Shows @p property and waits until the page is complete. */
    bool show(BoardView &view, const CBBSProperty &property)
    {
        QSignalSpy complete(&view, &BoardView::DocumentComplete);
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
        mdlOption::Timeout = 10;
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
        m_server = std::make_unique<BoardSimulator>();
        QVERIFY(m_server->listen());
        m_opened.clear();
    }

    void cleanup()
    {
        m_server.reset();
        setCookieStore(nullptr);
        m_cookies.reset();
        m_options.reset();
    }

    void livePageIsShownAndCached()
    {
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        QVERIFY(show(view, board(0)));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
        QCOMPARE(cacheMessages.size(), 1);
        QCOMPARE(cacheMessages.at(0).at(0).toString(), u"雑談掲示板をキャッシュに保存しました。"_s);
        QVERIFY(cachedText().contains(u"ようこそ"_s));
    }

    void requestCarriesTheBoardsCookie()
    {
        BoardView view;
        CBBSProperty property = board(0);
        property.SetPostName(u"名無し"_s);
        QVERIFY(show(view, property));
        QVERIFY(m_server->requests().at(0).cookie.contains(mdlMain::ToCp932(u"名無し"_s)));
    }

    void textPageBoardIsReadAsEucJpAndCachedAsCp932()
    {
        BoardView view;
        QVERIFY(show(view, board(3, u"nandemo"_s)));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
        QVERIFY(mdlMain::FromCp932(readFile(cacheFile(u"nandemo"_s))).contains(u"ようこそ"_s));
    }

    void freshCacheIsShownWithoutRequest()
    {
        writeCache(u"<html><body>保存した頁</body></html>"_s, 60);
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        QVERIFY(show(view, board(0)));
        QVERIFY(view.toPlainText().contains(u"保存した頁"_s));
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(view.Address(), QUrl::fromLocalFile(cacheFile()));
        QCOMPARE(cacheMessages.size(), 0);
    }

    void dayOldCacheIsReplacedByTheLivePage()
    {
        writeCache(u"<html><body>古い頁</body></html>"_s, 25 * 60 * 60);
        BoardView view;
        QVERIFY(show(view, board(0)));
        QVERIFY(cachedText().contains(u"ようこそ"_s));
    }

    void cacheDatedInTheFutureIsNotTrusted()
    {
        writeCache(u"<html><body>未来の頁</body></html>"_s, -60 * 60);
        BoardView view;
        QVERIFY(show(view, board(0)));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
    }

    void pairedBoardPageIsNeverCached()
    {
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        QVERIFY(show(view, board(1, u"hidari"_s)));
        QVERIFY(view.toPlainText().contains(u"ようこそ"_s));
        QCOMPARE(cacheMessages.size(), 0);
        QVERIFY(!QFile::exists(cacheFile(u"hidari"_s)));
    }

    void withoutCacheFolderNothingIsWritten()
    {
        mdlOption::CacheFilePath = m_home->filePath(u"missing"_s);
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        QVERIFY(show(view, board(0)));
        QCOMPARE(cacheMessages.size(), 1);
        QCOMPARE(cacheMessages.at(0).at(0).toString(), u"雑談掲示板をキャッシュに保存できませんでした。"_s);
        QVERIFY(!QDir(m_home->filePath(u"missing"_s)).exists());
    }

    void identifierNamingAnotherFolderIsNotWritten()
    {
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        CBBSProperty property = board(0);
        property.SetIdentifier(u"../zatsudan"_s);
        QVERIFY(show(view, property));
        QCOMPARE(cacheMessages.size(), 1);
        QCOMPARE(cacheMessages.at(0).at(0).toString(), u"雑談掲示板をキャッシュに保存できませんでした。"_s);
        QVERIFY(!QFile::exists(m_home->filePath(u"zatsudan.html"_s)));
    }

    void errorAnswerKeepsTheOldCache()
    {
        writeCache(u"<html><body>古い頁</body></html>"_s, 25 * 60 * 60);
        BoardSimulator::Fault fault;
        fault.status = 500;
        m_server->setFault(fault);
        BoardView view;
        QSignalSpy cacheMessages(&view, &BoardView::CacheMessage);
        QVERIFY(show(view, board(0)));
        QCOMPARE(cacheMessages.size(), 0);
        QVERIFY(cachedText().contains(u"古い頁"_s));
    }

    void pageOverTheBoundIsRefused()
    {
        writeCache(u"<html><body>古い頁</body></html>"_s, 25 * 60 * 60);
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::HugeBody;
        fault.hugeBytes = CBBS::MaxBodyBytes + 1;
        m_server->setFault(fault);
        BoardView view;
        view.ShowBoard(board(0));
        QTRY_VERIFY_WITH_TIMEOUT(view.toPlainText().contains(u"64MBを超えた"_s), 10000);
        QVERIFY(cachedText().contains(u"古い頁"_s));
    }

    void noPictureIsFetchedNorReadFromDisk()
    {
        const QString picture = m_home->filePath(u"picture.png"_s);
        QImage(8, 8, QImage::Format_RGB32).save(picture);
        const QString remote = m_server->baseUrl() + u"/picture.png"_s;
        writeCache(u"<html><body><img src=\""_s + remote + u"\"><img src=\""_s
                       + QUrl::fromLocalFile(picture).toString() + u"\">頁</body></html>"_s,
                   60);
        BoardView view;
        view.resize(400, 300);
        QVERIFY(show(view, board(0)));
        view.grab(); // lays the page out and paints it, pictures included
        QCOMPARE(m_server->requests().size(), 0);
        QVERIFY(view.document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(picture)).isNull());
    }

    void linksOpenInTheBrowserForWebAndMailOnly_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("http") << u"http://example.jp/a.html"_s << QStringList{u"http://example.jp/a.html"_s};
        QTest::newRow("mailto") << u"mailto:kanri@example.jp"_s << QStringList{u"mailto:kanri@example.jp"_s};
        QTest::newRow("relative") << u"howto.html"_s << QStringList{u"BASE/cgi-bin/howto.html"_s};
        QTest::newRow("file") << u"file:///etc/passwd"_s << QStringList{};
        QTest::newRow("script") << u"javascript:alert(1)"_s << QStringList{};
    }

    void linksOpenInTheBrowserForWebAndMailOnly()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, opened);
        BoardView view;
        QVERIFY(show(view, board(0)));
        const QUrl shown = view.Address();
        emit view.anchorClicked(QUrl(link));
        QCOMPARE(m_opened, opened.replaceInStrings(u"BASE"_s, m_server->baseUrl()));
        QCOMPARE(view.Address(), shown);
    }
};

QTEST_MAIN(TestBoardView)
#include "tst_boardview.moc"
