#include "app/mdlEncoding.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace mdlMain;

class TestEncoding : public QObject
{
    Q_OBJECT

private slots:
    void cp932AndEucJp()
    {
        // kana, kanji, NEC special (circled 1), NEC-selected IBM (U+7E8A), IBM (small roman 1)
        const QString text = u"あア漢字ｱ①\u7E8A\u2170～－∥￠￡￢\\~"_s;
        QCOMPARE(FromCp932(ToCp932(text)), text);
        // JIS-style forms take the code of their Microsoft-style twin.
        QCOMPARE(ToCp932(u"\u301C\u2212\u2016\u2014\u00A2\u00A3\u00AC\u00A5\u203E"_s),
                 QByteArray("\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\x92\x81\xCA\\~"));
        // One "?" per code point without a code or broken; U+25EF's trail byte FC must not hide the next "?";
        // invisible format characters are left out.
        QCOMPARE(ToCp932(u"a\u00E9b😀d\u25EF\u20AC\u200B"_s + QChar(0xD800) + u'x'), QByteArray("a?b?d\x81\xFC??x"));
        QCOMPARE(ToCp932(u"a"_s + QChar(0xD800)), QByteArray("a?")); // not dropped at the end
        QCOMPARE(ToEucJp(u"a😀b\u301C"_s), QByteArray("a?b\xA1\xC1")); // recovered after a failure
        QCOMPARE(FromCp932("\x81 A\x82"), u"\u001A A"_s);
    }

    void firstUnencodable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("eucJp");
        QTest::addColumn<QString>("unencodable");
        QTest::newRow("kana, JIS forms with a twin") << u"あア\u301C\u00A5"_s << false << QString();
        QTest::newRow("emoji") << u"a😀b"_s << false << u"😀"_s;
        QTest::newRow("JIS X 0212 in CP932") << u"é"_s << false << u"é"_s;
        QTest::newRow("JIS X 0212 in EUC-JP") << u"é"_s << true << QString();
    }

    void firstUnencodable()
    {
        QFETCH(QString, text);
        QFETCH(bool, eucJp);
        QFETCH(QString, unencodable);
        QCOMPARE(FirstUnencodable(text, eucJp ? BoardEncoding::EucJp : BoardEncoding::Cp932), unencodable);
    }

    void eucToString()
    {
        QCOMPARE(EucToString("\x8E\xB1" "A"_ba), u"ｱA"_s); // half-width katakana, ASCII letter
        QCOMPARE(EucToString("\xA4\xA2\0\xA4\xA4"_ba), u"あ"_s); // NUL ends the text
        QCOMPARE(EucToString("a\x8F\xAB\xB1\xA4\xA2"_ba), u"aéあ"_s); // JIS X 0212
        QCOMPARE(EucToString("\x8F\xA1\xA1" "b"_ba), u"?b"_s); // unassigned JIS X 0212
        QCOMPARE(EucToString("\xF5\xA1"_ba), u"\uFFFD"_s); // user-defined row
        QCOMPARE(EucToString("\xA4\xA2\xA4"_ba), u"あ?"_s); // cut at the end
        QCOMPARE(EucToString("\x8E" "A"_ba), u"?A"_s); // 8E before ASCII
        QCOMPARE(EucToString("\x90\xA4\x80z"_ba), u"???z"_s); // outside EUC-JP, bad trail byte

        for (int code = 0xA1A1; code <= 0xFEFE; ++code) { // every two-byte code reads as the codec reads it
            const char pair[] = {char(code >> 8), char(code)};
            const QString expected = FromEucJp(QByteArrayView(pair, 2));
            if (uchar(pair[1]) >= 0xA1 && expected != u"\uFFFD"_s)
                QCOMPARE(EucToString(QByteArrayView(pair, 2)), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
