#include "models/BodyLinks.h"

#include <QTest>

using namespace Qt::StringLiterals;
using BodyLinks::Link;

namespace QTest {
template <>
char *toString(const Link &link)
{
    return qstrdup(QStringLiteral("%1@%2+%3 %4 %5-%6")
                       .arg(int(link.kind))
                       .arg(link.start)
                       .arg(link.length)
                       .arg(link.address)
                       .arg(link.from)
                       .arg(link.to)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {

Link address(qsizetype start, qsizetype length, const QString &opened)
{
    return {Link::Kind::Address, start, length, opened, 0, 0};
}

Link anchor(qsizetype start, qsizetype length, int from, int to)
{
    return {Link::Kind::Anchor, start, length, QString(), from, to};
}

} // namespace

class tst_BodyLinks : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<Link>>("links");
        const auto row = [](const char *name, const QString &text, const QList<Link> &links) {
            QTest::newRow(name) << text << links;
        };
        row("http", u"見て http://a.jp/x?b=1&c=2 です"_s, {address(3, 21, u"http://a.jp/x?b=1&c=2"_s)});
        row("https", u"https://a.jp/"_s, {address(0, 13, u"https://a.jp/"_s)});
        row("ftp", u"ftp://a.jp/f.zip"_s, {address(0, 16, u"ftp://a.jp/f.zip"_s)});
        row("mailto", u"mailto:x@a.jp"_s, {address(0, 13, u"mailto:x@a.jp"_s)});
        row("www", u"www.a.jp/x"_s, {address(0, 10, u"http://www.a.jp/x"_s)});
        row("ttp", u"ttp://a.jp/x"_s, {address(0, 12, u"http://a.jp/x"_s)});
        row("tp", u"tp://a.jp/x"_s, {address(0, 11, u"http://a.jp/x"_s)});
        row("ttps", u"ttps://a.jp"_s, {address(0, 11, u"https://a.jp"_s)});
        row("capitals", u"HTTP://A.JP"_s, {address(0, 11, u"http://A.JP"_s)});
        row("round brackets", u"(http://a.jp/x)"_s, {address(1, 13, u"http://a.jp/x"_s)});
        row("balanced bracket kept", u"http://w.jp/A_(B)"_s, {address(0, 17, u"http://w.jp/A_(B)"_s)});
        row("square brackets", u"[http://a.jp]"_s, {address(1, 11, u"http://a.jp"_s)});
        row("angle brackets", u"<http://a.jp>"_s, {address(1, 11, u"http://a.jp"_s)});
        row("full-width brackets", u"（http://a.jp）"_s, {address(1, 11, u"http://a.jp"_s)});
        row("trailing 。", u"http://a.jp/x。次"_s, {address(0, 13, u"http://a.jp/x"_s)});
        row("trailing period", u"http://a.jp/x."_s, {address(0, 13, u"http://a.jp/x"_s)});
        row("double quotes", u"\"http://a.jp\""_s, {address(1, 11, u"http://a.jp"_s)});
        row("single quotes", u"'http://a.jp'"_s, {address(1, 11, u"http://a.jp"_s)});
        row("Japanese right after", u"http://a.jp/x次のページ"_s, {address(0, 13, u"http://a.jp/x"_s)});
        row("Japanese right before", u"はttp://a.jp"_s, {address(1, 10, u"http://a.jp"_s)});
        row("blank ends it", u"http://a.jp x"_s, {address(0, 11, u"http://a.jp"_s)});
        row("line break ends it", u"http://a.jp\r\nx"_s, {address(0, 11, u"http://a.jp"_s)});
        row("fragment stays in the address", u"http://a.jp/#123"_s, {address(0, 16, u"http://a.jp/#123"_s)});
        row("scheme alone", u"http:// です"_s, {});
        row("inside a word", u"xhttp://a.jp"_s, {});
        row("javascript", u"javascript:alert(1)"_s, {});
        row(">>123", u"見て>>123を"_s, {anchor(2, 5, 123, 123)});
        row("＞＞１２３", u"＞＞１２３"_s, {anchor(0, 5, 123, 123)});
        row("#123", u"#123"_s, {anchor(0, 4, 123, 123)});
        row("＃１２３", u"＃１２３"_s, {anchor(0, 4, 123, 123)});
        row("range", u">>123-125"_s, {anchor(0, 9, 123, 125)});
        row("full-width range", u"＞＞１２３－１２５"_s, {anchor(0, 9, 123, 125)});
        row("backward range", u">>125-123"_s, {anchor(0, 5, 125, 125)});
        row("dash without number", u">>12-"_s, {anchor(0, 4, 12, 12)});
        row("single > is a quote", u">123"_s, {});
        row("quoted anchor", u">>>12"_s, {anchor(1, 4, 12, 12)});
        row("character reference", u"&#123;"_s, {});
        row("too many digits", u">>1234567890"_s, {});
        row("two links", u">>1 http://a.jp"_s, {anchor(0, 3, 1, 1), address(4, 11, u"http://a.jp"_s)});
    }

    void scan()
    {
        QFETCH(QString, text);
        QFETCH(QList<Link>, links);
        QCOMPARE(BodyLinks::Scan(text), links);
    }

    void anchorHref()
    {
        int from = 0;
        int to = 0;
        QVERIFY(BodyLinks::ParseAnchorHref(BodyLinks::AnchorHref(anchor(0, 9, 123, 125)), from, to));
        QCOMPARE(from, 123);
        QCOMPARE(to, 125);
        QVERIFY(!BodyLinks::ParseAnchorHref(u"http://a.jp/>>1-2"_s, from, to));
    }
};

QTEST_GUILESS_MAIN(tst_BodyLinks)
#include "tst_bodylinks.moc"
