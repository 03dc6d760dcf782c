#include "app/CRegExp.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCRegExp : public QObject
{
    Q_OBJECT

private slots:
    void search_data()
    {
        QTest::addColumn<bool>("regExp");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("backwards");
        QTest::addColumn<int>("first"); // -1: no match
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("value");
        // The letter case counts (the option is off) except in plain mode.
        QTest::newRow("plain ignores case") << false << u"abc"_s << u"xxABCx"_s << false << 2 << 3 << u"abc"_s;
        QTest::newRow("expression keeps case") << true << u"abc"_s << u"ABC"_s << false << -1 << -1 << QString();
        QTest::newRow("backwards: last non-overlapping") << true << u"a+"_s << u"aa b aaa"_s << true << 5 << 3 << u"aaa"_s;
        QTest::newRow("invalid pattern") << true << u"(abc"_s << u"(abc"_s << false << -1 << -1 << QString();
        QTest::newRow("invalid pattern backwards") << true << u"(abc"_s << u"(abc"_s << true << -1 << -1 << QString();
        QTest::newRow("runaway backtracking") << true << u"(a+)+$"_s << QString(40, u'a') + u'b' << false << -1 << -1 << QString();
    }

    void search()
    {
        QFETCH(bool, regExp);
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, backwards);
        QFETCH(int, first);
        CRegExp re;
        re.setRegExpMode(regExp);
        re.setPattern(pattern);
        QCOMPARE(backwards ? re.SearchRev(text) : re.Search(text), first >= 0);
        QCOMPARE(re.FirstIndex(), first);
        QTEST(int(re.Length()), "length");
        QTEST(re.Value(), "value");
    }
};

QTEST_GUILESS_MAIN(TestCRegExp)
#include "tst_cregexp.moc"
