#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"t.ini"_s);
    CIniFile m_ini;

    void write(const QByteArray &bytes) { writeFile(m_path, bytes); }

    void load(const QByteArray &bytes, const QString &section = QString())
    {
        write(bytes);
        QVERIFY(m_ini.Load(m_path));
        m_ini.setNowSection(section);
    }

    /** Saves @p section (all when empty) and returns the file's bytes. */
    QByteArray saved(const QString &section = QString())
    {
        return m_ini.Save(section) ? readFile(m_path) : "<not saved>"_ba;
    }

    void expectWarning(const QString &pattern) { QTest::ignoreMessage(QtWarningMsg, QRegularExpression(pattern)); }

private slots:
    void init()
    {
        QFile::remove(m_path);
        QFile::remove(m_path + u".bad"_s);
        m_ini = CIniFile();
    }

    void sectionCaseAndIsExist()
    {
        load("[Option]\r\nA=1\r\n");
        QVERIFY(!m_ini.IsExist()); // nothing selected yet
        m_ini.setNowSection(u"option"_s);
        QVERIFY(m_ini.IsExist());
        m_ini.setNowSection(u"WebSearch"_s);
        QVERIFY(!m_ini.IsExist());
        m_ini.setNowSection(u"WEBSEARCH"_s); // known once selected
        QVERIFY(m_ini.IsExist());
        QCOMPARE(m_ini.Sections(), (QStringList{u"Option"_s, u"WebSearch"_s}));
        m_ini.setNowSection(u"Position"_s);
        QCOMPARE(saved(u"Position"_s), QByteArray("[Option]\r\nA=1\r\n[Position]\r\n"));
        QVERIFY(m_ini.IsExist());
        QVERIFY(m_ini.Load(m_path)); // reloading keeps the selection
        QVERIFY(!m_ini.IsExist());
        QCOMPARE(m_ini.NowSection(), u"Position"_s);
        m_ini.setNowSection(u"  "_s);
        expectWarning(u"no section selected"_s);
        QVERIFY(!m_ini.setData(u"k"_s, u"v"_s));
    }

    void loadRulesAndRepeatedSections()
    {
        const QByteArray tail = "\t\n[]\nhidden=1\n[T]\nt=1\n";
        load("top=ignored\n[S]\n  key one  =  value = sign  \na=1\nA=2\nnoequals\n; c=1\n" + tail, u"S"_s);
        QCOMPARE(m_ini.Sections(), (QStringList{u"S"_s, u"T"_s}));
        QCOMPARE(m_ini.Keys(), (QStringList{u"key one"_s, u"A"_s}));
        QCOMPARE(m_ini.Data(u"KEY ONE"_s), u"value = sign"_s);
        QCOMPARE(m_ini.Data(u"a"_s), u"2"_s); // the last of a repeated key
        QCOMPARE(m_ini.Data(u"noequals"_s), u"noequals"_s);
        QVERIFY(m_ini.Data(u"; c"_s).isEmpty());
        // Untouched lines keep their bytes; the line without "=" goes, the comment stays.
        QCOMPARE(saved(u"S"_s), "top=ignored\n[S]\n; c=1\n  key one  =  value = sign  \nA=2\n" + tail);

        // A repeated section joins the first; a key such as "[x]" (written "[x]=4") stays a key.
        m_ini = CIniFile();
        load("[A]\na=1\n[B]\nb=1\n\n[a]\nc=2\na=3\n[x]=4\n\n[C]\n", u"A"_s);
        QCOMPARE(m_ini.Sections(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
        QCOMPARE(m_ini.Data(u"[x]"_s), u"4"_s);
        QCOMPARE(saved(u"A"_s), QByteArray("[A]\nc=2\na=3\n[x]=4\n[B]\nb=1\n\n\n[C]\n"));
    }

    void saveKeepsOtherSectionsByteExact()
    {
        const QByteArray head = "; preamble\r\n[A]\r\nx=1\r\n\r\n";
        const QByteArray tail = "\n[B]\nv=\xff\x81\nw=\x82\xa0"; // invalid bytes, no final line end
        load(head + "[option]\nLeft=10\n;note\nTop=20\n" + tail, u"Option"_s);
        m_ini.setData(u"Left"_s, u"11"_s);
        const QByteArray option = "[option]\n;note\nTop=20\nLeft=11\n";
        QCOMPARE(saved(u"Option"_s), head + option + tail);
        QCOMPARE(saved(u"B"_s), head + option + tail + '\n');
        m_ini.setData(u"w"_s, u"い"_s);
        m_ini.setNowSection(u"A"_s);
        m_ini.setData(u"y"_s, u"2"_s);
        QCOMPARE(saved(), "; preamble\r\n[A]\r\nx=1\r\ny=2\r\n\r\n" + option + "\n[B]\nv=\xff\x81\nw=\x82\xa2\n");
    }

    void saveAppendsAndRereads()
    {
        QVERIFY(!m_ini.Save()); // no sections
        load("[A]\r\nx=1", u"S1"_s);
        m_ini.setData(u"b"_s, u"0"_s);
        m_ini.setData(u"a"_s, u"1"_s);
        m_ini.setData(u"B"_s, u"0"_s); // the same key in other case, the same value: moved, renamed
        m_ini.setNowSection(u"S2"_s);
        QCOMPARE(saved(), QByteArray("[A]\r\nx=1\r\n[S1]\r\na=1\r\nB=0\r\n[S2]\r\n"));
        QVERIFY(m_ini.IsExist());
        // Another program changed the file meanwhile: only the saved section is replaced.
        write("[A]\r\nx=2\r\n[S1]\r\nb=1\r\n[C]\r\n");
        m_ini.setNowSection(u"S1"_s);
        QCOMPARE(saved(u"S1"_s), QByteArray("[A]\r\nx=2\r\n[S1]\r\na=1\r\nB=0\r\n[C]\r\n"));
    }

    void textThatTheFileCannotHold()
    {
        m_ini.Load(m_path);
        m_ini.setNowSection(u"S"_s);
        m_ini.setData(u"emoji"_s, u"a😀b\u00e9c"_s);
        m_ini.setData(u"[x]"_s, u"line\r\n[Evil]\nz=1"_s);
        m_ini.setData(u"jp"_s, u"日本語　"_s);
        expectWarning(u"CP932 lacks"_s);
        QCOMPARE(saved(), "[S]\r\nemoji=a?b?c\r\n[x]=line  [Evil] z=1\r\njp=\x93\xfa\x96\x7b\x8c\xea\x81\x40\r\n"_ba);
    }

    void badInput()
    {
        const QByteArray big(1 << 20, 'x');
        load("[A]\r\nnul=1\0b\nbad=\x82\nmixed=1\rcr=2\r\nbig="_ba + big + "\nlast=z", u"A"_s);
        QCOMPARE(m_ini.Keys(), (QStringList{u"nul"_s, u"bad"_s, u"mixed"_s, u"cr"_s, u"big"_s, u"last"_s}));
        QCOMPARE(m_ini.Data(u"nul"_s), QString(u"1\0b"_s));
        QCOMPARE(m_ini.Data(u"big"_s).size(), big.size());
        QCOMPARE(saved(u"A"_s), "[A]\r\nnul=1\0b\r\nbad=\x82\r\nmixed=1\r\ncr=2\r\nbig="_ba + big + "\r\nlast=z\r\n");

        // A folder is no settings file: nothing loads, nothing is written over it.
        expectWarning(u"cannot read"_s);
        QVERIFY(!m_ini.Load(m_dir.path()));
        expectWarning(u"cannot read"_s);
        QVERIFY(!m_ini.Save());
        QVERIFY(m_ini.Load(m_dir.filePath(u"missing/dir/x.ini"_s)));
        expectWarning(u"cannot write"_s);
        QVERIFY(!m_ini.Save(u"A"_s));

        // Nor is a file beyond the bound read whole, or written over.
        constexpr qint64 TooLarge = CIniFile::MaxFileBytes + 1;
        QVERIFY(QFile::resize(m_path, TooLarge)); // sparse: costs no disk
        QVERIFY(!m_ini.Load(m_path));
        QCOMPARE(m_ini.Keys(), QStringList()); // nothing read
        QVERIFY(!m_ini.Save(u"A"_s));
        QCOMPARE(QFileInfo(m_path).size(), TooLarge);
    }

    // Before a damaged file is first written over, it is kept beside, and the user is told.
    void aDamagedFileIsKeptBeforeItIsRewritten()
    {
        ScriptedPrompter answers;
        setPrompter(&answers);
        const auto restore = qScopeGuard([] { setPrompter(nullptr); });
        load("[Option]\r\nName=\x93\xfa\r\n", u"Option"_s);
        saved();
        QVERIFY(!QFile::exists(m_path + u".bad"_s));
        const QByteArray damaged = "[Option]\r\nName=\x81\x20x\r\nnot a setting\r\n";
        load(damaged, u"Option"_s);
        m_ini.setData(u"Name"_s, m_ini.Data(u"Name"_s));
        const QByteArray rewritten = saved();
        QCOMPARE_NE(rewritten, damaged);
        QCOMPARE(readFile(m_path + u".bad"_s), damaged);
        QCOMPARE(answers.records().size(), 1);
        QVERIFY(answers.texts().first().contains(m_path + u".bad"_s));
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariantList>("read"); // InitData as text, Long, Single, Boolean; invalid: the default
        const QVariant no;
        QTest::newRow("half down to even, blanks") << u" 2.5 "_s << QVariantList{u" 2.5 "_s, 2, 2.5f, true};
        QTest::newRow("half up to even") << u"-3.5"_s << QVariantList{u"-3.5"_s, -4, -3.5f, true};
        QTest::newRow("exponent") << u"+25E-1"_s << QVariantList{u"+25E-1"_s, 2, 2.5f, true};
        QTest::newRow("beyond int") << u"32767.5"_s << QVariantList{u"32767.5"_s, 32768, 32767.5f, true};
        QTest::newRow("beyond long") << u"2147483647.5"_s << QVariantList{u"2147483647.5"_s, no, 2147483647.5f, true};
        QTest::newRow("beyond single") << u"3.4029e38"_s << QVariantList{u"3.4029e38"_s, no, no, true};
        QTest::newRow("beyond double") << u"1e999999999999999"_s << QVariantList{u"1e999999999999999"_s, no, no, no};
        QTest::newRow("zero") << u"0"_s << QVariantList{u"0"_s, 0, 0.0f, false};
        QTest::newRow("empty") << QString() << QVariantList{no, no, no, no};
        QTest::newRow("blanks") << u"   "_s << QVariantList{no, no, no, no};
        QTest::newRow("true") << u"tRuE"_s << QVariantList{u"tRuE"_s, no, no, true};
        QTest::newRow("false") << u"false"_s << QVariantList{u"false"_s, no, no, false};
    }

    void conversions()
    {
        QFETCH(QString, text);
        QFETCH(QVariantList, read);
        m_ini.setNowSection(u"N"_s);
        m_ini.setData(u"k"_s, text);
        for (const int type : {CIniFile::IniText, CIniFile::IniLong, CIniFile::IniSingle, CIniFile::IniBool}) {
            const QVariant value = m_ini.InitData(u"k"_s, type, QVariant());
            QCOMPARE(value, read[type]);
            QCOMPARE(value.typeId(), read[type].typeId());
        }
    }
};

QTEST_GUILESS_MAIN(TestCIniFile)
#include "tst_cinifile.moc"
