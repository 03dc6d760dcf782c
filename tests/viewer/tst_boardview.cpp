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

    void pageAndCache_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("cache"); // the cached page before, none when empty
        QTest::addColumn<int>("ageSecs");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<bool>("errorAnswer");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QString>("cachedAfter"); // no cache file when empty
        const QStringList saved{u"雑談掲示板をキャッシュに保存しました。"_s};
        const QStringList notSaved{u"雑談掲示板をキャッシュに保存できませんでした。"_s};
        const QString live = u"ようこそ"_s;
        const QString kept = u"保存した頁"_s;
        const QString id = u"zatsudan"_s;
        QTest::newRow("no cache") << 0 << QString() << 0 << u"cache"_s << id << false << live << saved << live;
        QTest::newRow("an hour old") << 0 << kept << 3600 << u"cache"_s << id << false << kept << QStringList() << kept;
        QTest::newRow("25 hours old") << 0 << kept << 25 * 3600 << u"cache"_s << id << false << live << saved << live;
        QTest::newRow("from the future") << 0 << kept << -3600 << u"cache"_s << id << false << live << saved << live;
        QTest::newRow("paired board: never cached") << 1 << QString() << 0 << u"cache"_s << id << false << live << QStringList() << QString();
        QTest::newRow("error answer keeps the old cache") << 0 << kept << 25 * 3600 << u"cache"_s << id << true << QString() << notSaved << kept;
        QTest::newRow("no cache folder") << 0 << QString() << 0 << u"missing"_s << id << false << live << notSaved << QString();
        QTest::newRow("identifier naming another folder")
            << 0 << QString() << 0 << u"cache"_s << u"../zatsudan"_s << false << live << notSaved << QString();
    }

    // A cache of less than a day is shown instead of the live page, which is cached otherwise;
    // a cache that cannot be written is reported, and nothing is written outside the cache folder.
    void pageAndCache()
    {
        QFETCH(int, type);
        QFETCH(QString, cache);
        QFETCH(int, ageSecs);
        QFETCH(QString, folder);
        QFETCH(QString, identifier);
        QFETCH(bool, errorAnswer);
        QFETCH(QString, shown);
        QFETCH(QStringList, said);
        QFETCH(QString, cachedAfter);
        if (!cache.isEmpty())
            writeCache(cache, ageSecs);
        if (errorAnswer)
            m_server->setFault({});
        mdlOption::CacheFilePath = m_home->filePath(folder);
        CBBSProperty property = board(type);
        property.SetIdentifier(identifier);
        BoardView view;
        QStringList messages;
        QVERIFY(show(view, property, &messages));
        QVERIFY(view.toPlainText().contains(shown));
        QTRY_COMPARE(messages, said);
        QCOMPARE(cachedText().isEmpty(), cachedAfter.isEmpty());
        QVERIFY(cachedText().contains(cachedAfter));
        QVERIFY(!QFileInfo::exists(m_home->filePath(u"zatsudan.html"_s)));
        QVERIFY(!QFileInfo::exists(m_home->filePath(u"missing"_s)));
    }

    // A log page comes as text/plain: its lines stay lines, live and from the cache it wrote.
    void plainTextPageKeepsItsLines()
    {
        CBBSProperty property = board();
        property.SetURL(property.URL() + u"?dousa=log&logmidoku=0&logno=0"_s);
        BoardView live;
        QStringList messages;
        QVERIFY(show(live, property, &messages));
        QVERIFY(live.document()->blockCount() > 1);
        QTRY_COMPARE(messages.size(), 1);
        BoardView cached;
        QVERIFY(show(cached, property));
        QVERIFY(cached.document()->blockCount() > 1);
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
