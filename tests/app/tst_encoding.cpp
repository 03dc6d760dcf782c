#include "app/mdlEncoding.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace mdlMain;

class TestEncoding : public QObject
{
    Q_OBJECT

private slots:
    void cp932RoundTripsJapaneseAndExtensions()
    {
        // kana, kanji, NEC special (circled 1), NEC-selected IBM (U+7E8A), IBM (small roman 1)
        const QString text = u"あア漢字ｱ①\u7E8A\u2170～－∥￠￡￢\\~"_s;
        QCOMPARE(FromCp932(ToCp932(text)), text);
    }

    void encodersWriteVariantsAndMarkMissingCharacters()
    {
        // JIS-style forms take the code of their Microsoft-style twin.
        QCOMPARE(ToCp932(u"\u301C\u2212\u2016\u2014\u00A2\u00A3\u00AC"_s),
                 QByteArray("\x81\x60\x81\x7C\x81\x61\x81\x5C\x81\x91\x81\x92\x81\xCA"));
        QCOMPARE(ToCp932(u"\u00A5\u203E"_s), QByteArray("\\~"));
        QCOMPARE(ToEucJp(u"\u301C\u2212"_s), QByteArray("\xA1\xC1\xA1\xDD"));
        // Characters without a code: one "?" per code point, ASCII around them intact.
        QCOMPARE(ToCp932(u"a\u00E9b\u4E02c😀d"_s), QByteArray("a?b?c?d"));
        QCOMPARE(ToEucJp(u"a😀b\u20AC"_s), QByteArray("a?b?"));
        // U+25EF is 81 FC: its trail byte and a following substitute must not be mistaken.
        QCOMPARE(ToCp932(u"\u25EF\u20AC"_s), QByteArray("\x81\xFC?"));
        // Invisible format characters are left out, a broken surrogate is a "?".
        QCOMPARE(ToCp932(u"a\u200Bb\uFEFFc"_s), QByteArray("abc"));
        QCOMPARE(ToCp932(u"a"_s + QChar(0xD800) + u"b"_s + QChar(0xDC00)), QByteArray("a?b?"));
        // The encoders recover after a failure.
        QCOMPARE(ToCp932(u"漢"_s), QByteArray("\x8A\xBF"));
        QCOMPARE(ToEucJp(u"漢"_s), QByteArray("\xB4\xC1"));
    }

    void decodersSurviveBrokenBytes()
    {
        QCOMPARE(FromCp932("\x81 A"), u"\u001A A"_s);
        QCOMPARE(FromCp932("A\x82"), u"A"_s);
        QCOMPARE(FromCp932("\x82\xA0\x82"), u"あ"_s);
        QCOMPARE(FromCp932("\xFC\xFC"), u"\uFFFD"_s);
        QCOMPARE(FromEucJp("\xA4\xA2\x8E\xB1\x8F\xAB\xB1"), u"あｱé"_s);
    }

    void urlEncode()
    {
        QCOMPARE(URLEncode(u"a b"_s), u"a%20b"_s);
        QCOMPARE(URLEncode(u"AZaz09_"_s), u"AZaz09_"_s);
        QCOMPARE(URLEncode(u"-.~+%"_s), u"%2D%2E%7E%2B%25"_s);
        QCOMPARE(URLEncode(u"あｱ"_s), u"%82%A0%B1"_s);
    }

    void urlDecode()
    {
        QCOMPARE(URLDecode(u"%41%42"_s), u"AB"_s);
        QCOMPARE(URLDecode(u"%4a+b"_s), u"J+b"_s);
        QCOMPARE(URLDecode(u"%A4%A2%8E%B1x"_s), u"あｱx"_s);
        QCOMPARE(URLDecode(u"a%00b"_s), u"a"_s);
        QCOMPARE(URLDecode(QString()), QString());
        for (const QString &bad : {u"%"_s, u"%4"_s, u"ab%4"_s, u"%G1"_s, u"%1G"_s, u"%%41"_s})
            QVERIFY2(!URLDecode(bad).has_value(), qPrintable(bad));
    }

    void eucToStringKatakanaNulAndAscii()
    {
        QCOMPARE(EucToString("\x8E\xB1" "A"), u"ｱA"_s);
        QCOMPARE(EucToString("\x8E\xDF\x8E\xA1"), u"ﾟ｡"_s);
        QCOMPARE(EucToString(QByteArrayView("ab\0cd", 5)), u"ab"_s);
        QCOMPARE(EucToString(QByteArrayView("\xA4\xA2\0\xA4\xA4", 5)), u"あ"_s);
        QCOMPARE(EucToString(QByteArrayView("\x8E\0A", 3)), u"?"_s);
    }

    void eucToStringAgreesWithIcuOnAllRows()
    {
        int compared = 0;
        for (int b1 = 0xA1; b1 <= 0xFE; ++b1) {
            for (int b2 = 0xA1; b2 <= 0xFE; ++b2) {
                const char pair[] = {char(b1), char(b2)};
                const QString expected = FromEucJp(QByteArrayView(pair, 2));
                if (expected == u"\uFFFD"_s)
                    continue; // no character at this code
                const QString actual = EucToString(QByteArrayView(pair, 2));
                QVERIFY2(actual == expected,
                         qPrintable(u"%1%2: %3 != %4"_s.arg(b1, 0, 16).arg(b2, 0, 16).arg(actual, expected)));
                ++compared;
            }
        }
        QVERIFY(compared > 7000); // all of JIS X 0208 and the NEC and IBM rows
        // The user-defined rows have no CP932 code.
        QCOMPARE(EucToString("\xF5\xA1"), u"\uFFFD"_s);
    }

    void eucToStringSupplementaryCharacters()
    {
        QCOMPARE(EucToString("a\x8F\xAB\xB1\xA4\xA2"), u"aéあ"_s);
        QCOMPARE(EucToString("\x8F\xA1\xA1" "b"), u"?b"_s); // unassigned JIS X 0212 code
    }

    void eucToStringBrokenAndTruncatedInput()
    {
        QCOMPARE(EucToString("\xA4"), u"?"_s);
        QCOMPARE(EucToString("\xA4\xA2\xA4"), u"あ?"_s);
        QCOMPARE(EucToString("\x8E"), u"?"_s);
        QCOMPARE(EucToString("\x8E" "A"), u"?A"_s);
        QCOMPARE(EucToString("\x8E\xE0\xA4\xA2"), u"?"_s + FromEucJp("\xE0\xA4") + u"?"_s);
        QCOMPARE(EucToString("\xA4<b>"), u"?<b>"_s);
        QCOMPARE(EucToString("\x8F\xA2"), u"??"_s);
        QCOMPARE(EucToString("\x90\xFF" "c"), u"??c"_s);
        QCOMPARE(EucToString("\xA4\x80z"), u"??z"_s);
    }
};

QTEST_GUILESS_MAIN(TestEncoding)
#include "tst_encoding.moc"
