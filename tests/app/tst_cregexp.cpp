#include "app/CRegExp.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_CRegExp : public QObject
{
    Q_OBJECT

private slots:
    void plainIgnoresCaseWhateverTheOption();
    void regExpMatchCase();
    void searchRevGivesLastNonOverlappingMatch();
    void invalidPatternIsNoMatch();
    void runawayBacktrackingEndsAsNoMatch();
};

void tst_CRegExp::plainIgnoresCaseWhateverTheOption()
{
    CRegExp re;
    re.setRegExpMode(false);
    re.setIgnoreCase(false);
    re.setPattern(u"abc"_s);
    QVERIFY(re.Search(u"xxABCx"_s));
    QCOMPARE(re.FirstIndex(), 2);
    QCOMPARE(re.Length(), 3);
    QCOMPARE(re.Value(), u"abc"_s);
}

void tst_CRegExp::regExpMatchCase()
{
    CRegExp re;
    re.setIgnoreCase(false);
    re.setPattern(u"abc"_s);
    QVERIFY(!re.Search(u"ABC"_s));
    QCOMPARE(re.FirstIndex(), -1);
    QCOMPARE(re.Length(), -1);
    QCOMPARE(re.Value(), QString());
}


void tst_CRegExp::searchRevGivesLastNonOverlappingMatch()
{
    CRegExp re;
    re.setPattern(u"a+"_s);
    QVERIFY(re.SearchRev(u"aa b aaa"_s));
    QCOMPARE(re.FirstIndex(), 5);
    QCOMPARE(re.Length(), 3);
}


void tst_CRegExp::invalidPatternIsNoMatch()
{
    CRegExp re;
    re.setPattern(u"(abc"_s);
    QVERIFY(!re.Search(u"(abc"_s));
    QVERIFY(!re.SearchRev(u"(abc"_s));
}

void tst_CRegExp::runawayBacktrackingEndsAsNoMatch()
{
    CRegExp re;
    re.setPattern(u"(a+)+$"_s);
    QVERIFY(!re.Search(QString(40, u'a') + u'b'));
}


QTEST_GUILESS_MAIN(tst_CRegExp)
#include "tst_cregexp.moc"
