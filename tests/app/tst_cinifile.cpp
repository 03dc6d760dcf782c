#include "app/CIniFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString pathOf(const QString &name) const { return m_dir.filePath(name); }

    static void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QString fileWith(const QString &name, const QByteArray &bytes) const
    {
        writeBytes(pathOf(name), bytes);
        return pathOf(name);
    }

    static QByteArray readBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void sectionCaseAndIsExist()
    {
        const QString path = fileWith(u"case.ini"_s, "[Option]\r\nA=1\r\n");
        CIniFile ini;
        QVERIFY(ini.Load(path));
        QVERIFY(!ini.IsExist());
        ini.setNowSection(u"option"_s);
        QCOMPARE(ini.NowSection(), u"Option"_s);
        QVERIFY(ini.IsExist());
        QCOMPARE(ini.Data(u"a"_s), u"1"_s);

        ini.setNowSection(u"WebSearch"_s);
        QVERIFY(!ini.IsExist());
        QCOMPARE(ini.Sections(), (QStringList{u"Option"_s, u"WebSearch"_s}));
        QVERIFY(ini.Keys().isEmpty());
        ini.setNowSection(u"WEBSEARCH"_s);
        QCOMPARE(ini.NowSection(), u"WebSearch"_s);
        QVERIFY(ini.IsExist());

        ini.setNowSection(u"Position"_s);
        QVERIFY(!ini.IsExist());
        QVERIFY(ini.Save(u"Position"_s));
        QVERIFY(ini.IsExist());
        QCOMPARE(readBytes(path), QByteArray("[Option]\r\nA=1\r\n[Position]\r\n"));

        // Reloading keeps the selection; a blank name selects nothing.
        QVERIFY(ini.Load(path));
        QVERIFY(!ini.IsExist());
        QCOMPARE(ini.NowSection(), u"Position"_s);
        ini.setNowSection(u"  "_s);
        QCOMPARE(ini.NowSection(), QString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"no section selected"_s));
        QVERIFY(!ini.setData(u"k"_s, u"v"_s));
        QVERIFY(ini.Data(u"k"_s).isEmpty());
    }

    void keyOrderAndRewrite()
    {
        const QString path = fileWith(u"order.ini"_s, "[S]\na=1\nb=2\nc=3\n");
        CIniFile ini;
        ini.Load(path);
        ini.setNowSection(u"S"_s);
        QVERIFY(ini.setData(u"a"_s, u"1"_s)); // same value still moves it
        QCOMPARE(ini.Keys(), (QStringList{u"b"_s, u"c"_s, u"a"_s}));
        ini.setData(u"B"_s, u"9"_s);
        QCOMPARE(ini.Keys(), (QStringList{u"c"_s, u"a"_s, u"B"_s}));
        ini.DeleteData(u"C"_s);
        ini.DeleteData(u"missing"_s);
        QVERIFY(ini.Save(u"s"_s));
        QCOMPARE(readBytes(path), QByteArray("[S]\na=1\nB=9\n"));
        ini.Clear();
        QVERIFY(ini.Keys().isEmpty());
        QVERIFY(ini.Save(u"S"_s));
        QCOMPARE(readBytes(path), QByteArray("[S]\n"));
    }

    void loadRules()
    {
        const QByteArray tail = "\t\n[]\nhidden=1\n[T]\nt=1\n";
        const QString path = fileWith(u"rules.ini"_s, "top=ignored\n[S]\n  key one  =  value with = sign  \n"
                                                      "k=a=b=c\na=1\nA=2\nnoequals\n; comment=1\n" + tail);
        CIniFile ini;
        ini.Load(path);
        QCOMPARE(ini.Sections(), (QStringList{u"S"_s, u"T"_s}));
        ini.setNowSection(u"S"_s);
        QCOMPARE(ini.Keys(), (QStringList{u"key one"_s, u"k"_s, u"A"_s}));
        QCOMPARE(ini.Data(u"KEY ONE"_s), u"value with = sign"_s);
        QCOMPARE(ini.Data(u"k"_s), u"a=b=c"_s);
        QCOMPARE(ini.Data(u"a"_s), u"2"_s);
        QCOMPARE(ini.Data(u"noequals"_s), u"noequals"_s);
        QVERIFY(ini.Data(u"; comment"_s).isEmpty());

        // Untouched lines keep their bytes; the line without "=" goes, the comment stays.
        QVERIFY(ini.Save(u"S"_s));
        QCOMPARE(readBytes(path), "top=ignored\n[S]\n; comment=1\n  key one  =  value with = sign  \n"
                                  "k=a=b=c\nA=2\n" + tail);
    }

    void saveKeepsOtherSectionsByteExact()
    {
        const QString path = pathOf(u"exact.ini"_s);
        const QByteArray head = "; preamble\r\n[A]\r\nx=1\r\n\r\n";
        const QByteArray tail = "\n[B]\nv=\xff\x81\nw=\x82\xa0"; // invalid bytes, no final line end
        writeBytes(path, head + "[option]\nLeft=10\n;note\nTop=20\n" + tail);
        CIniFile ini;
        ini.Load(path);
        ini.setNowSection(u"Option"_s);
        QCOMPARE(ini.NowSection(), u"option"_s);
        ini.setData(u"Left"_s, u"11"_s);
        QVERIFY(ini.Save(u"Option"_s));
        QCOMPARE(readBytes(path), head + "[option]\n;note\nTop=20\nLeft=11\n" + tail);

        // A section with invalid bytes saved unchanged keeps them.
        QVERIFY(ini.Save(u"B"_s));
        QCOMPARE(readBytes(path), head + "[option]\n;note\nTop=20\nLeft=11\n\n[B]\nv=\xff\x81\nw=\x82\xa0\n");
        ini.setData(u"w"_s, u"い"_s);
        ini.setNowSection(u"A"_s);
        ini.setData(u"y"_s, u"2"_s);
        QVERIFY(ini.Save());
        QCOMPARE(readBytes(path), QByteArray("; preamble\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[option]\n;note\nTop=20\nLeft=11\n"
                                             "\n[B]\nv=\xff\x81\nw=\x82\xa2\n"));
    }

    void saveAppendsAndSavesAll()
    {
        const QString path = fileWith(u"append.ini"_s, "[A]\r\nx=1");
        CIniFile ini;
        ini.Load(path);
        ini.setNowSection(u"New"_s);
        ini.setData(u"k"_s, u"v"_s);
        QVERIFY(ini.Save(u"New"_s));
        QCOMPARE(readBytes(path), QByteArray("[A]\r\nx=1\r\n[New]\r\nk=v\r\n"));

        CIniFile empty;
        QVERIFY(!empty.Save());
        const QString fresh = pathOf(u"fresh.ini"_s);
        QVERIFY(empty.Load(fresh));
        QVERIFY(!empty.Save());
        empty.setNowSection(u"S1"_s);
        empty.setData(u"a"_s, u"1"_s);
        empty.setNowSection(u"S2"_s);
        empty.setNowSection(u"S1"_s);
        QVERIFY(empty.Save());
        QCOMPARE(empty.NowSection(), u"S2"_s);
        QVERIFY(empty.IsExist());
        QCOMPARE(readBytes(fresh), QByteArray("[S1]\r\na=1\r\n[S2]\r\n"));
    }

    void saveRereadsChangedFile()
    {
        const QString path = fileWith(u"changed.ini"_s, "[A]\r\na=1\r\n[B]\r\nb=1\r\n");
        CIniFile ini;
        ini.Load(path);
        writeBytes(path, "[A]\r\na=1\r\nlater=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n");
        ini.setNowSection(u"A"_s);
        ini.setData(u"a"_s, u"5"_s);
        QVERIFY(ini.Save(u"A"_s));
        QCOMPARE(readBytes(path), QByteArray("[A]\r\na=5\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n"));
    }

    void repeatedSectionIsMerged()
    {
        const QString path = fileWith(u"repeat.ini"_s, "[A]\na=1\n[B]\nb=1\n\n[a]\nc=2\na=3\n\n[C]\n");
        CIniFile ini;
        ini.Load(path);
        QCOMPARE(ini.Sections(), (QStringList{u"A"_s, u"B"_s, u"C"_s}));
        ini.setNowSection(u"A"_s);
        QCOMPARE(ini.Keys(), (QStringList{u"c"_s, u"a"_s}));
        QVERIFY(ini.Save(u"A"_s));
        QCOMPARE(readBytes(path), QByteArray("[A]\nc=2\na=3\n[B]\nb=1\n\n\n[C]\n"));
    }

    void textThatTheFileCannotHold()
    {
        const QString path = pathOf(u"text.ini"_s);
        CIniFile ini;
        ini.Load(path);
        ini.setNowSection(u"S"_s);
        ini.setData(u"emoji"_s, u"a😀b\u00e9c"_s);
        ini.setData(u"[x]"_s, u"line\r\n[Evil]\nz=1"_s);
        ini.setData(u"jp"_s, u"日本語　"_s);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"CP932 lacks"_s));
        QVERIFY(ini.Save());
        QCOMPARE(ini.Data(u"emoji"_s), u"a😀b\u00e9c"_s);
        QCOMPARE(readBytes(path), QByteArray("[S]\r\nemoji=a?b?c\r\n[x]=line  [Evil] z=1\r\n"
                                             "jp=\x93\xfa\x96\x7b\x8c\xea\x81\x40\r\n"));
        CIniFile again;
        again.Load(path);
        QCOMPARE(again.Sections(), QStringList{u"S"_s});
        again.setNowSection(u"S"_s);
        QCOMPARE(again.Data(u"[x]"_s), u"line  [Evil] z=1"_s);
        QCOMPARE(again.Data(u"jp"_s), u"日本語　"_s); // an ideographic space is not trimmed
    }

    void badInput()
    {
        const QString path = pathOf(u"bad.ini"_s);
        const QByteArray big(1 << 20, 'x');
        const char start[] = "[A]\r\nnul=1\0b\nbad=\x82\nmixed=1\rcr=2\r\nbig=";
        writeBytes(path, QByteArray(start, sizeof(start) - 1) + big + "\nlast=z");
        CIniFile ini;
        QVERIFY(ini.Load(path));
        ini.setNowSection(u"A"_s);
        QCOMPARE(ini.Keys(), (QStringList{u"nul"_s, u"bad"_s, u"mixed"_s, u"cr"_s, u"big"_s, u"last"_s}));
        QCOMPARE(ini.Data(u"nul"_s), QString(u"1\0b"_s));
        QVERIFY(!ini.Data(u"bad"_s).isEmpty());
        QCOMPARE(ini.Data(u"cr"_s), u"2"_s);
        QCOMPARE(ini.Data(u"big"_s).size(), big.size());
        QCOMPARE(ini.Data(u"last"_s), u"z"_s);
        QVERIFY(ini.Save(u"A"_s)); // unchanged lines keep their bytes, line ends become uniform
        const char saved[] = "[A]\r\nnul=1\0b\r\nbad=\x82\r\nmixed=1\r\ncr=2\r\nbig=";
        QCOMPARE(readBytes(path), QByteArray(saved, sizeof(saved) - 1) + big + "\r\nlast=z\r\n");

        // A folder is no settings file: nothing loads, nothing is written over it.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot read"_s));
        QVERIFY(!ini.Load(m_dir.path()));
        QVERIFY(ini.Sections() == QStringList{u"A"_s}); // the kept selection
        QVERIFY(ini.Keys().isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot read"_s));
        QVERIFY(!ini.Save());
        QVERIFY(QFileInfo(m_dir.path()).isDir());

        QVERIFY(ini.Load(pathOf(u"missing/dir/x.ini"_s)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot write"_s));
        QVERIFY(!ini.Save(u"A"_s));
        QVERIFY(!ini.IsExist());
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isInt");
        QTest::addColumn<bool>("isSng");
        QTest::addColumn<bool>("isBool");
        QTest::addColumn<QVariant>("lng"); // InitData type 1, invalid when IsLng fails

        const auto row = [](const char *name, const QString &text, bool isInt, bool isSng, bool isBool,
                            QVariant lng) { QTest::newRow(name) << text << isInt << isSng << isBool << lng; };
        row("blanks", u" 42 "_s, true, true, true, 42);
        row("half down to even", u"2.5"_s, true, true, true, 2);
        row("half up to even", u"3.5"_s, true, true, true, 4);
        row("negative half", u"-0.5"_s, true, true, true, 0);
        row("above half", u"2.5000001"_s, true, true, true, 3);
        row("exponent", u"1e3"_s, true, true, true, 1000);
        row("signed exponent", u"+25E-1"_s, true, true, true, 2);
        row("int rounds out", u"32767.5"_s, false, true, true, 32768);
        row("int min", u"-32768.5"_s, true, true, true, -32768);
        row("beyond int", u"100000"_s, false, true, true, 100000);
        row("long min", u"-2147483648"_s, false, true, true, qint32(-2147483647 - 1));
        row("long rounds out", u"2147483647.5"_s, false, true, true, QVariant());
        row("huge", u"1e999999999999999"_s, false, false, false, QVariant());
        row("tiny", u"1e-999999"_s, true, true, true, 0);
        row("beyond single", u"3.4029e38"_s, false, false, true, QVariant());
        row("single max", u"3.4028e38"_s, false, true, true, QVariant());
        row("empty", QString(), false, false, false, QVariant());
        row("letters", u"abc"_s, false, false, false, QVariant());
        row("two points", u"1.2.3"_s, false, false, false, QVariant());
        row("true", u"tRuE"_s, false, false, true, QVariant());
    }

    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, lng);
        QTEST(CIniFile::IsInt(text), "isInt");
        QCOMPARE(CIniFile::IsLng(text), lng.isValid());
        QTEST(CIniFile::IsSng(text), "isSng");
        QTEST(CIniFile::IsBool(text), "isBool");
        CIniFile ini;
        ini.setNowSection(u"N"_s);
        ini.setData(u"k"_s, text);
        const QVariant value = ini.InitData(u"k"_s, CIniFile::IniLong, QVariant());
        QCOMPARE(value, lng);
        if (lng.isValid())
            QCOMPARE(value.typeId(), QMetaType::Int);
    }

    void initData()
    {
        CIniFile ini;
        ini.setNowSection(u"S"_s);
        const QVariant dflt(u"default"_s);
        const auto read = [&](const QString &text, int type) {
            ini.setData(u"k"_s, text);
            return ini.InitData(u"k"_s, type, dflt);
        };
        QCOMPARE(read(u"   "_s, CIniFile::IniText), dflt);
        QCOMPARE(read(u" x "_s, CIniFile::IniText), QVariant(u" x "_s));
        QCOMPARE(read(u"1.5"_s, CIniFile::IniSingle), QVariant(1.5f));
        QCOMPARE(read(u"1.5"_s, CIniFile::IniSingle).typeId(), QMetaType::Float);
        QCOMPARE(read(u"True"_s, CIniFile::IniBool), QVariant(true));
        QCOMPARE(read(u"false"_s, CIniFile::IniBool), QVariant(false));
        QCOMPARE(read(u"0"_s, CIniFile::IniBool), QVariant(false));
        QCOMPARE(read(u"-1"_s, CIniFile::IniBool), QVariant(true));
        QCOMPARE(read(u"yes"_s, CIniFile::IniBool), dflt);
        QCOMPARE(read(u" 7 "_s, 9), QVariant(u" 7 "_s));
        QCOMPARE(ini.InitData(u"missing"_s, 9, dflt), QVariant(QString()));
        QCOMPARE(ini.InitData(u"missing"_s, CIniFile::IniLong, 5), QVariant(5));
    }
};

QTEST_GUILESS_MAIN(TestCIniFile)
#include "tst_cinifile.moc"
