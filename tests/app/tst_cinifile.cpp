#include "app/CIniFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"t.ini"_s);
    CIniFile m_ini;

    void write(const QByteArray &bytes)
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    /** Loads a file holding @p bytes and selects @p section (none when empty). */
    void load(const QByteArray &bytes, const QString &section = QString())
    {
        write(bytes);
        QVERIFY(m_ini.Load(m_path));
        m_ini.setNowSection(section);
    }

    /** Saves @p section (all when empty) and returns the file's bytes. */
    QByteArray saved(const QString &section = QString())
    {
        QFile f(m_path);
        return m_ini.Save(section) && f.open(QIODevice::ReadOnly) ? f.readAll() : "<not saved>"_ba;
    }

private slots:
    void init()
    {
        QFile::remove(m_path);
        m_ini = CIniFile();
    }

    void sectionCaseAndIsExist()
    {
        load("[Option]\r\nA=1\r\n");
        QVERIFY(!m_ini.IsExist());
        m_ini.setNowSection(u"option"_s);
        QVERIFY(m_ini.IsExist());
        QCOMPARE(m_ini.NowSection(), u"Option"_s);
        m_ini.setNowSection(u"WebSearch"_s);
        QVERIFY(!m_ini.IsExist());
        m_ini.setNowSection(u"WEBSEARCH"_s);
        QVERIFY(m_ini.IsExist());
        QCOMPARE(m_ini.Sections(), (QStringList{u"Option"_s, u"WebSearch"_s}));

        m_ini.setNowSection(u"Position"_s);
        QCOMPARE(saved(u"Position"_s), QByteArray("[Option]\r\nA=1\r\n[Position]\r\n"));
        QVERIFY(m_ini.IsExist());
        // Reloading keeps the selection; a blank name selects nothing.
        QVERIFY(m_ini.Load(m_path));
        QVERIFY(!m_ini.IsExist());
        QCOMPARE(m_ini.NowSection(), u"Position"_s);
        m_ini.setNowSection(u"  "_s);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"no section selected"_s));
        QVERIFY(!m_ini.setData(u"k"_s, u"v"_s));
    }

    void keyOrderAndMoveToEnd()
    {
        load("[S]\na=1\nb=2\nc=3\n", u"S"_s);
        QVERIFY(m_ini.setData(u"a"_s, u"1"_s)); // the same value still moves the key
        m_ini.setData(u"B"_s, u"9"_s);
        QCOMPARE(m_ini.Keys(), (QStringList{u"c"_s, u"a"_s, u"B"_s}));
        m_ini.DeleteData(u"C"_s);
        m_ini.DeleteData(u"missing"_s);
        QCOMPARE(saved(u"s"_s), QByteArray("[S]\na=1\nB=9\n"));
        m_ini.Clear();
        QCOMPARE(saved(u"S"_s), QByteArray("[S]\n"));
    }

    void loadRules()
    {
        const QByteArray tail = "\t\n[]\nhidden=1\n[T]\nt=1\n";
        load("top=ignored\n[S]\n  key one  =  value with = sign  \nk=a=b=c\na=1\nA=2\nnoequals\n; comment=1\n" + tail,
             u"S"_s);
        QCOMPARE(m_ini.Sections(), (QStringList{u"S"_s, u"T"_s}));
        QCOMPARE(m_ini.Keys(), (QStringList{u"key one"_s, u"k"_s, u"A"_s}));
        QCOMPARE(m_ini.Data(u"KEY ONE"_s), u"value with = sign"_s);
        QCOMPARE(m_ini.Data(u"k"_s), u"a=b=c"_s);
        QCOMPARE(m_ini.Data(u"a"_s), u"2"_s);
        QCOMPARE(m_ini.Data(u"noequals"_s), u"noequals"_s);
        QVERIFY(m_ini.Data(u"; comment"_s).isEmpty());
        // Untouched lines keep their bytes; the line without "=" goes, the comment stays.
        QCOMPARE(saved(u"S"_s),
                 "top=ignored\n[S]\n; comment=1\n  key one  =  value with = sign  \nk=a=b=c\nA=2\n" + tail);
    }

    void saveKeepsOtherSectionsByteExact()
    {
        const QByteArray head = "; preamble\r\n[A]\r\nx=1\r\n\r\n";
        const QByteArray tail = "\n[B]\nv=\xff\x81\nw=\x82\xa0"; // invalid bytes, no final line end
        load(head + "[option]\nLeft=10\n;note\nTop=20\n" + tail, u"Option"_s);
        QCOMPARE(m_ini.NowSection(), u"option"_s);
        m_ini.setData(u"Left"_s, u"11"_s);
        QCOMPARE(saved(u"Option"_s), head + "[option]\n;note\nTop=20\nLeft=11\n" + tail);
        QCOMPARE(saved(u"B"_s), head + "[option]\n;note\nTop=20\nLeft=11\n" + tail + '\n');

        m_ini.setData(u"w"_s, u"い"_s);
        m_ini.setNowSection(u"A"_s);
        m_ini.setData(u"y"_s, u"2"_s);
        QCOMPARE(saved(), "; preamble\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[option]\n;note\nTop=20\nLeft=11\n"
                          "\n[B]\nv=\xff\x81\nw=\x82\xa2\n"_ba);
    }

    void saveAllAndAppend()
    {
        QVERIFY(!m_ini.Save()); // no sections
        load("[A]\r\nx=1", u"S1"_s);
        m_ini.setData(u"a"_s, u"1"_s);
        m_ini.setNowSection(u"S2"_s);
        m_ini.setNowSection(u"S1"_s);
        QCOMPARE(saved(), QByteArray("[A]\r\nx=1\r\n[S1]\r\na=1\r\n[S2]\r\n"));
        QCOMPARE(m_ini.NowSection(), u"S2"_s);
        QVERIFY(m_ini.IsExist());
    }

    void saveRereadsChangedFile()
    {
        load("[A]\r\na=1\r\n[B]\r\nb=1\r\n", u"A"_s);
        write("[A]\r\na=1\r\nlater=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n");
        m_ini.setData(u"a"_s, u"5"_s);
        QCOMPARE(saved(u"A"_s), QByteArray("[A]\r\na=5\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n"));
    }

    void repeatedSectionIsMerged()
    {
        load("[A]\na=1\n[B]\nb=1\n\n[a]\nc=2\na=3\n\n[C]\n", u"A"_s);
        QCOMPARE(m_ini.Sections(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
        QCOMPARE(m_ini.Keys(), (QStringList{u"c"_s, u"a"_s}));
        QCOMPARE(saved(u"A"_s), QByteArray("[A]\nc=2\na=3\n[B]\nb=1\n\n\n[C]\n"));
    }

    void textThatTheFileCannotHold()
    {
        m_ini.Load(m_path);
        m_ini.setNowSection(u"S"_s);
        m_ini.setData(u"emoji"_s, u"a😀b\u00e9c"_s);
        m_ini.setData(u"[x]"_s, u"line\r\n[Evil]\nz=1"_s);
        m_ini.setData(u"jp"_s, u"日本語　"_s);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"CP932 lacks"_s));
        QCOMPARE(saved(), "[S]\r\nemoji=a?b?c\r\n[x]=line  [Evil] z=1\r\njp=\x93\xfa\x96\x7b\x8c\xea\x81\x40\r\n"_ba);
        QVERIFY(m_ini.Load(m_path));
        QCOMPARE(m_ini.Sections(), QStringList{u"S"_s});
        QCOMPARE(m_ini.Data(u"jp"_s), u"日本語　"_s); // an ideographic space is not trimmed
    }

    void badInput()
    {
        const QByteArray big(1 << 20, 'x');
        load("[A]\r\nnul=1\0b\nbad=\x82\nmixed=1\rcr=2\r\nbig="_ba + big + "\nlast=z", u"A"_s);
        QCOMPARE(m_ini.Keys(), (QStringList{u"nul"_s, u"bad"_s, u"mixed"_s, u"cr"_s, u"big"_s, u"last"_s}));
        QCOMPARE(m_ini.Data(u"nul"_s), QString(u"1\0b"_s));
        QVERIFY(!m_ini.Data(u"bad"_s).isEmpty());
        QCOMPARE(m_ini.Data(u"big"_s).size(), big.size());
        // Unchanged lines keep their bytes; line ends become uniform.
        QCOMPARE(saved(u"A"_s), "[A]\r\nnul=1\0b\r\nbad=\x82\r\nmixed=1\r\ncr=2\r\nbig="_ba + big + "\r\nlast=z\r\n");

        // A folder is no settings file: nothing loads, nothing is written over it.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot read"_s));
        QVERIFY(!m_ini.Load(m_dir.path()));
        QVERIFY(m_ini.Keys().isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot read"_s));
        QVERIFY(!m_ini.Save());

        QVERIFY(m_ini.Load(m_dir.filePath(u"missing/dir/x.ini"_s)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot write"_s));
        QVERIFY(!m_ini.Save(u"A"_s));
        QVERIFY(!m_ini.IsExist());
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isInt");
        QTest::addColumn<QVariant>("lng"); // what InitData reads for types 1, 2, 3; invalid: the default
        QTest::addColumn<QVariant>("sng");
        QTest::addColumn<QVariant>("boolean");
        const auto row = [](const char *name, const QString &text, bool isInt, QVariant lng, QVariant sng,
                            QVariant boolean) { QTest::newRow(name) << text << isInt << lng << sng << boolean; };
        const QVariant no;
        row("blanks", u" 42 "_s, true, 42, 42.0f, true);
        row("half down to even", u"2.5"_s, true, 2, 2.5f, true);
        row("half up to even", u"3.5"_s, true, 4, 3.5f, true);
        row("negative half", u"-0.5"_s, true, 0, -0.5f, true);
        row("above half", u"2.5000001"_s, true, 3, 2.5000001f, true);
        row("exponent", u"1e3"_s, true, 1000, 1000.0f, true);
        row("signed exponent", u"+25E-1"_s, true, 2, 2.5f, true);
        row("int rounds out", u"32767.5"_s, false, 32768, 32767.5f, true);
        row("int min", u"-32768.5"_s, true, -32768, -32768.5f, true);
        row("beyond int", u"100000"_s, false, 100000, 100000.0f, true);
        row("long min", u"-2147483648"_s, false, qint32(-2147483647 - 1), -2147483648.0f, true);
        row("long rounds out", u"2147483647.5"_s, false, no, 2147483647.5f, true);
        row("huge", u"1e999999999999999"_s, false, no, no, no);
        row("tiny", u"1e-999999"_s, true, 0, 0.0f, false);
        row("beyond single", u"3.4029e38"_s, false, no, no, true);
        row("single max", u"3.4028e38"_s, false, no, 3.4028e38f, true);
        row("zero", u"0"_s, true, 0, 0.0f, false);
        row("minus one", u"-1"_s, true, -1, -1.0f, true);
        row("empty", QString(), false, no, no, no);
        row("word", u"yes"_s, false, no, no, no);
        row("true", u"tRuE"_s, false, no, no, true);
        row("false", u"false"_s, false, no, no, false);
    }

    void conversions()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, lng);
        QFETCH(QVariant, sng);
        QFETCH(QVariant, boolean);
        QTEST(CIniFile::IsInt(text), "isInt");
        QCOMPARE((QList<bool>{CIniFile::IsLng(text), CIniFile::IsSng(text), CIniFile::IsBool(text)}),
                 (QList<bool>{lng.isValid(), sng.isValid(), boolean.isValid()}));
        m_ini.setNowSection(u"N"_s);
        m_ini.setData(u"k"_s, text);
        QVariantList read;
        for (const int type : {CIniFile::IniLong, CIniFile::IniSingle, CIniFile::IniBool})
            read << m_ini.InitData(u"k"_s, type, QVariant());
        const QVariantList expected{lng, sng, boolean};
        QCOMPARE(read, expected);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(read[i].typeId(), expected[i].typeId());
    }

    void initDataTextAndOtherTypes()
    {
        m_ini.setNowSection(u"S"_s);
        m_ini.setData(u"blank"_s, u"   "_s);
        m_ini.setData(u"x"_s, u" x "_s);
        const QVariant dflt(u"default"_s);
        QCOMPARE(m_ini.InitData(u"blank"_s, CIniFile::IniText, dflt), dflt);
        QCOMPARE(m_ini.InitData(u"x"_s, CIniFile::IniText, dflt), QVariant(u" x "_s));
        QCOMPARE(m_ini.InitData(u"x"_s, 9, dflt), QVariant(u" x "_s));
        QCOMPARE(m_ini.InitData(u"missing"_s, 9, dflt), QVariant(QString()));
        QCOMPARE(m_ini.InitData(u"missing"_s, CIniFile::IniLong, 5), QVariant(5));
    }
};

QTEST_GUILESS_MAIN(TestCIniFile)
#include "tst_cinifile.moc"
