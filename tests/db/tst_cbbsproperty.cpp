#include "app/mdlEncoding.h"
#include "db/CBBSProperty.h"
#include "cookies/CookieStore.h"
#include "db/mdlDatabase.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString BoardUrl = u"http://bbs.example.jp/cgi-bin/board.cgi"_s;
constexpr qint64 Day = 24 * 60 * 60;

CBBSProperty board(int type, const QString &identifier = u"nandemo"_s)
{
    CBBSProperty p;
    p.SetBBSType(type);
    p.SetURL(BoardUrl);
    p.SetIdentifier(identifier);
    return p;
}

/** A type-3 cookie value as the board writes it: EUC-JP, percent-encoded. */
QString keyedValue(const QString &items)
{
    return QString::fromLatin1(mdlMain::ToEucJp(items).toPercentEncoding({}, "-.~"));
}

} // namespace

class TestCBBSProperty : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CookieStore> m_store;

    CookieStore &store() { return *m_store; }

private slots:
    void init()
    {
        m_store = std::make_unique<CookieStore>(m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u".txt"_s));
        setCookieStore(m_store.get());
    }
    void cleanup() { setCookieStore(nullptr); }

    // Null columns read as empty text and 0, and stay Null when the row is written back.
    void boardRowKeepsItsNulls()
    {
        const auto db = mdlDatabase::CreateLogDatabase(m_dir.filePath(u"rows.mdb"_s));
        QVERIFY(db);
        QVERIFY(db->Execute(u"INSERT INTO BBS (BBS_ID) VALUES (77)"_s));
        CBBSProperty p;
        QVERIFY(!p.SetProperty()); // no row read yet
        QVERIFY(p.GetProperty(77, *db));
        QCOMPARE(p.BBS_Name(), QString());
        QCOMPARE(p.MaxCount(), 0);
        p.SetMaxCount(10);
        QVERIFY(p.SetProperty());
        const auto rs = db->OpenRecordset(u"SELECT MaxCount, BBS_Name IS NULL FROM BBS WHERE BBS_ID = 77"_s);
        QVERIFY(rs);
        QCOMPARE(rs->Value(0).toInt(), 10);
        QCOMPARE(rs->Value(1).toInt(), 1);
    }

    void defaultsWithoutCookie_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<int>("viewCount");
        QTest::addColumn<int>("downloadCount");
        QTest::newRow("single") << 0 << u"x"_s << 20 << 30;
        QTest::newRow("paired") << 1 << u"x"_s << 30 << 50;
        QTest::newRow("keyed, no identifier") << 3 << QString() << 20 << 30;
        // The other board's cookie name does not begin with "ck": the keyed board's default text.
        QTest::newRow("keyed, identifier ck") << 3 << u"ck"_s << 30 << 30;
    }

    void defaultsWithoutCookie()
    {
        QFETCH(int, type);
        QFETCH(QString, identifier);
        // Cookies of other boards and names on the address do not count.
        QVERIFY(CBBSProperty::WriteBoardCookie(BoardUrl, u"other"_s, u"ck_articles%3D99"_s));
        QVERIFY(CBBSProperty::WriteBoardCookie(BoardUrl + u"2"_s, BoardUrl + u"2"_s, u"a,b,c,d,1,2,3,4,5"_s));
        const CBBSProperty p = board(type, identifier);
        QTEST(p.ViewCount(), "viewCount");
        QTEST(p.DownloadCount(), "downloadCount");
        QCOMPARE(p.NoReadPoint(), 0);
    }

    void singleBoardCookie()
    {
        CBBSProperty p = board(0);
        p.SetPostName(u"山田～太郎①"_s);
        p.SetMail(u"a@b.jp"_s);
        p.SetHomePage(u"http://h.jp/"_s);
        p.SetPassword(u"pw"_s);
        p.SetViewCount(15);
        p.SetViewOrder(1);
        p.SetNoReadView(1);
        p.SetNoReadPoint(4711);
        p.SetDownloadCount(40);
        QCOMPARE(CBBSProperty::ReadBoardCookie(BoardUrl, BoardUrl),
            u"山田～太郎①,a@b.jp,http://h.jp/,pw,15,1,1,4711,40"_s);
        // Not a number: the default.
        QVERIFY(p.SetSettingText(CBBSProperty::DownloadCountSetting, u"many"_s));
        QCOMPARE(p.DownloadCount(), 30);
    }

    void pairedBoardsAndShortLists()
    {
        // The two boards of a pair share one list; the right board's unread position is at 9.
        CBBSProperty left = board(1);
        CBBSProperty right = board(2);
        right.SetNoReadPoint(900);
        left.SetNoReadPoint(300);
        right.SetPostName(u"右"_s);
        QCOMPARE(CBBSProperty::ReadBoardCookie(BoardUrl, BoardUrl), u"右,,,,30,,,300,50,900"_s);
        QCOMPARE(left.PostName(), u"右"_s);
        QCOMPARE(right.NoReadPoint(), 900);
        // A shorter list (written by the board) has no value past its end and grows when written
        // there.
        QVERIFY(CBBSProperty::WriteBoardCookie(BoardUrl, BoardUrl, u"name,mail"_s));
        QCOMPARE(right.NoReadPoint(), 0);
        QCOMPARE(right.ViewCount(), 30);
        left.SetNoReadPoint(130);
        right.SetNoReadPoint(140);
        QCOMPARE(CBBSProperty::ReadBoardCookie(BoardUrl, BoardUrl), u"name,mail,,,,,,130,,140"_s);
    }

    // A "," would shift the later positions of the comma list, a ";" end it, a line break keep
    // the cookie from being sent: such values are refused and the other settings stay.
    void unsafeListValuesAreRefused()
    {
        CBBSProperty p = board(0);
        p.SetPassword(u"secret"_s);
        p.SetNoReadPoint(120);
        for (const QString &value : {u"Taro, Jr."_s, u"a;b"_s, u"a\r\nb"_s}) {
            QVERIFY(!p.SetSettingText(CBBSProperty::PostNameSetting, value));
            QVERIFY(!p.LastError().isEmpty());
            QCOMPARE(p.PostName(), QString());
        }
        QCOMPARE(p.Password(), u"secret"_s);
        QCOMPARE(p.NoReadPoint(), 120);
        // The type-3 cookie is percent-encoded: a comma is kept there.
        QCOMPARE(CBBSProperty::SettingValueError(3, CBBSProperty::PostNameSetting, u"a,b"_s), QString());
    }

    void keyedCookieReadAndWritten()
    {
        const QString items
            = u"ck_name=&ck_mail=m@x.jp&ck_mode=0&ck_unread_point=%1&ck_articles=25&ck_text=40"_s;
        QVERIFY(CBBSProperty::WriteBoardCookie(
            BoardUrl, u"nandemo_cookie"_s, keyedValue(items.arg(120))));
        CBBSProperty p = board(3);
        QCOMPARE(p.Mail(), u"m@x.jp"_s);
        QCOMPARE(p.NoReadPoint(), 120);
        QCOMPARE(p.ViewCount(), 25);
        QCOMPARE(p.DownloadCount(), 40);
        p.SetNoReadPoint(130);
        p.SetPassword(u"secret"_s); // no item: nothing changes
        QCOMPARE(CBBSProperty::ReadBoardCookie(BoardUrl, u"nandemo_cookie"_s),
            keyedValue(items.arg(130)));
        // Non-ASCII text goes to the board as percent-encoded EUC-JP and comes back the same.
        p.SetPostName(u"山田～太郎①"_s);
        QCOMPARE(p.PostName(), u"山田～太郎①"_s);
        QCOMPARE(CBBSProperty::ReadBoardCookie(BoardUrl, u"nandemo_cookie"_s),
            keyedValue(items.arg(130).replace(u"ck_name="_s, u"ck_name=山田～太郎①"_s)));
    }

    void keyedCookieOddParts()
    {
        // A part without items, an item without "=", a broken escape, a second cookie of the
        // identifier at another path: each part is read and rewritten on its own, in its place.
        const auto put
            = [this](const QByteArray &name, const QString &items, const QByteArray &path) {
                  const QByteArray value
                      = items.startsWith(u'%') ? items.toLatin1() : keyedValue(items).toLatin1();
                  QVERIFY(store().SetCookieBytes(
                      QUrl(BoardUrl), name, value + "; path=" + path + "; max-age=100000"));
              };
        put("nandemo_flag", {}, "/cgi-bin");
        put("nandemo", u"ck_mode&ck_unread_point=7"_s, "/");
        put("nandemo", u"ck_name=a&ck_unread_point=9"_s, "/cgi-bin");
        put("nandemo_bad", u"%zz%26ck_text%3D5"_s, "/cgi-bin");
        CBBSProperty p = board(3);
        // The longer path comes first, as for the board.
        QCOMPARE(p.PostName(), u"a"_s);
        QCOMPARE(p.NoReadPoint(), 9);
        QCOMPARE(p.DownloadCount(), 5);
        p.SetNoReadPoint(11);
        using NamePathValue = std::tuple<QByteArray, QByteArray, QByteArray>;
        QList<NamePathValue> seen;
        for (const CookieStore::Cookie &c : store().cookiesForUrl(QUrl(BoardUrl)))
            seen.append({c.name, c.path, c.value});
        QCOMPARE(seen, (QList<NamePathValue>{
                           {"nandemo_flag", "/cgi-bin", ""},
                           {"nandemo", "/cgi-bin", keyedValue(u"ck_name=a&ck_unread_point=11"_s).toLatin1()},
                           {"nandemo_bad", "/cgi-bin", "%zz%26ck_text%3D5"},
                           {"nandemo", "/", keyedValue(u"ck_mode&ck_unread_point=11"_s).toLatin1()}}));
    }

    // The expiry date is written in English whatever the user's locale, else it is not read.
    void expiryIsReadInAnyLocale()
    {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        CBBSProperty p = board(0);
        p.SetNoReadPoint(55);
        QLocale::setDefault(QLocale::c());
        const QList<CookieStore::Cookie> cookies = store().cookiesForUrl(QUrl(BoardUrl));
        QCOMPARE(cookies.size(), 1);
        QCOMPARE_GE(cookies.at(0).expiry, before + 120 * Day);
        QCOMPARE_LE(cookies.at(0).expiry, QDateTime::currentSecsSinceEpoch() + 120 * Day);
    }
};

QTEST_GUILESS_MAIN(TestCBBSProperty)
#include "tst_cbbsproperty.moc"
