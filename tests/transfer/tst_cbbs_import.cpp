#include "CBBSFixture.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using LogFormat::sampleMessage;

namespace {

constexpr int Board = CBBSFixture::SingleBoard;

QString fixture(const QString &name)
{
    return QStringLiteral(TESSERA_TEST_DATA) + u"/import/"_s + name;
}

QByteArray fixtureBytes(const QString &name)
{
    QFile file(fixture(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/** CP932 log text of sample messages @p first .. @p last, newest first. */
QByteArray sampleLog(int first, int last)
{
    QList<BoardMessage> messages;
    for (int n = last; n >= first; --n)
        messages.append(sampleMessage(n));
    return LogFormat::toCp932(LogFormat::log(0, messages));
}

QList<int> ids(const QList<CMessage> &messages)
{
    QList<int> out;
    for (const CMessage &m : messages)
        out.append(m.ID);
    return out;
}

/** The texts of a StateChanged spy that asked for a log line. */
QStringList logLines(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &call : spy) {
        if (call.at(2).toBool())
            out.append(call.at(0).toString());
    }
    return out;
}

/**
 * CRC-16 (the LHA header checksum: polynomial 0xA001, reflected, start 0).
 */
quint16 crc16(QByteArrayView bytes)
{
    quint16 crc = 0;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

/**
 * @p archive (level-2 header, as lha writes it) with its first member claiming @p size bytes
 * and the header checksum made right again, so only the size is wrong.
 */
QByteArray withClaimedSize(QByteArray archive, quint32 size)
{
    for (int i = 0; i < 4; ++i)
        archive[11 + i] = char(size >> (8 * i));
    const qsizetype headerSize = le16(archive, 0);
    qsizetype crcAt = -1;
    // Extended headers: [type][data][size of the next one]; type 0 holds the header CRC.
    for (qsizetype at = 26, size = le16(archive, 24); size != 0; at += size, size = le16(archive, at - 2)) {
        if (archive[at] == 0)
            crcAt = at + 1;
    }
    archive[crcAt] = archive[crcAt + 1] = 0;
    const quint16 crc = crc16(QByteArrayView(archive).first(headerSize));
    archive[crcAt] = char(crc & 0xFF);
    archive[crcAt + 1] = char(crc >> 8);
    return archive;
}

} // namespace

class TestCBBSImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<CMessage>(); }

    void textFileImportsWithItsProgressTexts()
    {
        CBBSFixture f;
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        const QString file = fixture(u"zatsudan-2001.log"_s);
        QVERIFY(f.bbs.ImportLog(Board, file));
        QCOMPARE(f.bbs.SaveCount(), 3);
        QCOMPARE(f.bbs.AnalyseCount(), 3);
        QCOMPARE(f.bbs.MaxID(), 3);
        QCOMPARE(state.first().at(0).toString(), file + u"の取込中..."_s);
        QCOMPARE(state.at(1).at(0).toString(), file + u"の解析中..."_s);
        QCOMPARE(state.last(), QVariantList({file + u"から3件インポートしました。"_s, false, true}));
        QCOMPARE(logLines(state), QStringList{file + u"から3件インポートしました。"_s});

        const QList<CMessage> stored = f.stored(Board);
        QCOMPARE(ids(stored), QList<int>({1, 2, 3}));
        QCOMPARE(stored.at(0).Subject, u"春の集まり"_s);
        QCOMPARE(stored.at(0).Body, u"今度の日曜日に集まりませんか？\r\n～ 詳しくは後ほど ～"_s);
        QCOMPARE(stored.at(2).InReplyTo, 1);
        QCOMPARE(stored.at(2).RootThread, 1);
        QVERIFY(!stored.at(0).Read);
    }

    void archiveImportsItsFirstMemberLikeTheText()
    {
        CBBSFixture text, archive;
        QVERIFY(text.bbs.ImportLog(Board, fixture(u"zatsudan-2001.log"_s)));
        QSignalSpy state(&archive.bbs, &CBBS::StateChanged);
        QVERIFY(archive.bbs.ImportLog(Board, fixture(u"one.lzh"_s)));
        QCOMPARE(archive.bbs.SaveCount(), 3);
        QCOMPARE(state.last().at(0).toString(), fixture(u"one.lzh"_s) + u"から3件インポートしました。"_s);
        const QList<CMessage> fromText = text.stored(Board), fromArchive = archive.stored(Board);
        QCOMPARE(fromArchive.size(), fromText.size());
        for (qsizetype i = 0; i < fromText.size(); ++i)
            QVERIFY(fromArchive.at(i) == fromText.at(i));

        CBBSFixture two;
        QVERIFY(two.bbs.ImportLog(Board, fixture(u"two.lzh"_s)));
        QCOMPARE(ids(two.stored(Board)), QList<int>({11, 12}));
    }

    void extractionTakesTheFirstMatchingMemberWhole()
    {
        QVERIFY(CBBS::CanUseUnlha());
        QCOMPARE(CBBS::ExtractArchiveToMemory(fixture(u"two.lzh"_s), u"*"_s), fixtureBytes(u"first.log"_s));
        QCOMPARE(CBBS::ExtractArchiveToMemory(fixture(u"two.lzh"_s), u"SECOND.*"_s), fixtureBytes(u"second.log"_s));
        CBBS::ExtractError error = CBBS::ExtractError::None;
        QVERIFY(CBBS::ExtractArchiveToMemory(fixture(u"two.lzh"_s), u"*.txt"_s, &error).isEmpty());
        QCOMPARE(error, CBBS::ExtractError::NoMatch);
    }

    void extensionLzhInAnyCaseMeansAnArchive_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("source");
        QTest::newRow("old.LZH") << u"old.LZH"_s << u"one.lzh"_s;
        QTest::newRow("old.lzh") << u"old.lzh"_s << u"one.lzh"_s;
        QTest::newRow("x.y.Lzh") << u"x.y.Lzh"_s << u"one.lzh"_s;
        QTest::newRow("old.log") << u"old.log"_s << u"zatsudan-2001.log"_s;
        QTest::newRow("old.txt") << u"old.txt"_s << u"zatsudan-2001.log"_s;
        QTest::newRow("no dot") << u"old"_s << u"zatsudan-2001.log"_s;
        QTest::newRow("lzh.txt") << u"old.lzh.txt"_s << u"zatsudan-2001.log"_s;
        QTest::newRow("dotted folder") << u"a.lzh/old"_s << u"zatsudan-2001.log"_s;
    }

    void extensionLzhInAnyCaseMeansAnArchive()
    {
        QFETCH(QString, name);
        QFETCH(QString, source);
        CBBSFixture f;
        const QString path = f.dir.filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(QFile::copy(fixture(source), path));
        QVERIFY(f.bbs.ImportLog(Board, path));
        QCOMPARE(f.bbs.SaveCount(), 3);
    }

    void sameFileTwiceStoresNothingNew()
    {
        CBBSFixture f;
        const QString file = fixture(u"one.lzh"_s);
        QVERIFY(f.bbs.ImportLog(Board, file));
        QSignalSpy loaded(&f.bbs, &CBBS::Loaded);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(f.bbs.ImportLog(Board, file));
        QCOMPARE(f.bbs.SaveCount(), 0);
        QCOMPARE(f.bbs.AnalyseCount(), 3);
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(state.last().at(0).toString(), file + u"から0件インポートしました。"_s);
        QCOMPARE(f.stored(Board).size(), 3);
    }

    void brokenEntriesMakeTheImportUnclean()
    {
        CBBSFixture f;
        BoardMessage broken = sampleMessage(5);
        broken.rawEntry = u"記事番号　：　abc"_s;
        const QString path = f.dir.filePath(u"broken.log"_s);
        QVERIFY(writeFile(path, LogFormat::toCp932(LogFormat::log(0, {sampleMessage(6), broken, sampleMessage(4)}))));
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(!f.bbs.ImportLog(Board, path));
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(f.bbs.AnalyseError(), -1);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(2).toString(), u"1件目のログが壊れていました。"_s);
        QVERIFY(logLines(state).isEmpty()); // no summary after a broken entry
        QCOMPARE(ids(f.stored(Board)), QList<int>({4, 6}));
        QVERIFY(!f.bbs.IsImport());
    }

    void saveCountAndReadFlagBelongToEachFile()
    {
        CBBSFixture f;
        f.bbs.AnalyseLog(Board, LogFormat::log(0, {sampleMessage(100)}), false); // a load before
        const QString a = f.dir.filePath(u"a.log"_s), b = f.dir.filePath(u"b.log"_s);
        QVERIFY(writeFile(a, sampleLog(1, 5)));
        QVERIFY(writeFile(b, sampleLog(4, 7)));
        QVERIFY(f.bbs.ImportLog(Board, a, true));
        QCOMPARE(f.bbs.SaveCount(), 5);
        QVERIFY(f.bbs.ImportLog(Board, b, false));
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(f.bbs.MaxID(), 7);
        for (const CMessage &m : f.stored(Board))
            QCOMPARE(m.Read, m.ID <= 5);
    }

    void cancelStopsTheFileAndASecondImportCompletesIt()
    {
        CBBSFixture f;
        const QString path = f.dir.filePath(u"big.log"_s);
        QVERIFY(writeFile(path, sampleLog(1, 500)));
        bool importing = false;
        connect(&f.bbs, &CBBS::Loaded, &f.bbs, [&] {
            importing = f.bbs.IsImport();
            if (f.bbs.SaveCount() == 40)
                f.bbs.Cancel();
        });
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(f.bbs.ImportLog(Board, path));
        QVERIFY(importing);
        QVERIFY(!f.bbs.IsImport());
        QVERIFY(f.bbs.IsCancel()); // still set for the run to stop on
        QCOMPARE(f.bbs.SaveCount(), 40);
        QCOMPARE(state.last().at(0).toString(), path + u"から40件インポートしました。"_s);

        // What was stored is committed: another connection sees it.
        std::unique_ptr<Database> other = Database::Open(f.path());
        QVERIFY(other);
        std::optional<Recordset> count = other->OpenRecordset(u"SELECT Count(*) FROM Message WHERE BBS_ID = 4"_s);
        QVERIFY(count);
        QCOMPARE(count->Value(0, 0).toInt(), 40);

        f.bbs.disconnect(&f.bbs);
        QVERIFY(f.bbs.ImportLog(Board, path));
        QVERIFY(!f.bbs.IsCancel());
        QCOMPARE(f.bbs.SaveCount(), 460);
        QCOMPARE(f.stored(Board).size(), 500);
    }

    void lineBreaksOfLfFilesBecomeCrLf()
    {
        CBBSFixture f;
        QByteArray crlf = fixtureBytes(u"zatsudan-2001.log"_s);
        const QString lfPath = f.dir.filePath(u"lf.log"_s);
        QVERIFY(writeFile(lfPath, QByteArray(crlf).replace("\r\n", "\n")));
        QVERIFY(f.bbs.ImportLog(Board, lfPath));
        QCOMPARE(f.bbs.SaveCount(), 3);
        QCOMPARE(f.stored(Board).at(0).Body, u"今度の日曜日に集まりませんか？\r\n～ 詳しくは後ほど ～"_s);

        // A file with CR LF is used as read: a lone LF inside a body stays.
        CBBSFixture g;
        const QString mixedPath = g.dir.filePath(u"mixed.log"_s);
        QVERIFY(writeFile(mixedPath, crlf.replace(LogFormat::toCp932(u"\r\n～"_s), LogFormat::toCp932(u"\n～"_s))));
        QVERIFY(g.bbs.ImportLog(Board, mixedPath));
        QCOMPARE(g.stored(Board).at(0).Body, u"今度の日曜日に集まりませんか？\n～ 詳しくは後ほど ～"_s);
    }

    void unusableFilesAreNotImported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // written unless empty and name ends in "/"
        QTest::addColumn<QString>("message");    // after the file name

        const QByteArray archive = fixtureBytes(u"one.lzh"_s);
        QByteArray damaged = archive;
        for (qsizetype i = 120; i < 180; ++i)
            damaged[i] = char(~damaged[i]);
        const QString notArchive = u"はLHA書庫として読めなかったため、インポートできませんでした。"_s;

        QTest::newRow("missing") << u"missing.log"_s << QByteArray() << u"が見つからないため、インポートできませんでした。"_s;
        QTest::newRow("folder") << u"folder.log/"_s << QByteArray() << u"はファイルではないため、インポートできませんでした。"_s;
        QTest::newRow("empty") << u"empty.log"_s << QByteArray("") << u"は空のファイルのため、インポートできませんでした。"_s;
        QTest::newRow("damaged data") << u"damaged.lzh"_s << damaged << notArchive;
        QTest::newRow("truncated") << u"truncated.lzh"_s << archive.first(100) << notArchive;
        QTest::newRow("text named lzh") << u"text.lzh"_s << sampleLog(1, 2) << notArchive;
        QTest::newRow("empty archive file") << u"empty.lzh"_s << QByteArray("") << u"は空のファイルのため、インポートできませんでした。"_s;
        QTest::newRow("huge member") << u"huge.lzh"_s << withClaimedSize(archive, 0xFFFFFFF0)
                                     << u"の中のファイルは64MBを超えるため、インポートできませんでした。"_s;
        QTest::newRow("just over 64 MiB") << u"big.lzh"_s << withClaimedSize(archive, 64 * 1024 * 1024 + 1)
                                          << u"の中のファイルは64MBを超えるため、インポートできませんでした。"_s;
        QTest::newRow("UTF-8") << u"utf8.log"_s << QByteArray("a\r\nb\r\n日本語\r\n")
                               << u"の3行目にShift_JIS(CP932)として読めない文字があるため、インポートできませんでした。"_s;
        const QByteArray cut = sampleLog(1, 1) + "\x82";
        QTest::newRow("cut character at the end")
            << u"cut.log"_s << cut
            << u"の%1行目にShift_JIS(CP932)として読めない文字があるため、インポートできませんでした。"_s.arg(cut.count('\n') + 1);
    }

    void unusableFilesAreNotImported()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        CBBSFixture f;
        QString path = f.dir.filePath(name);
        if (name.endsWith(u'/')) {
            QVERIFY(QDir().mkpath(path));
            path.chop(1);
        } else if (!content.isNull()) {
            QVERIFY(writeFile(path, content));
        }
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(!f.bbs.ImportLog(Board, path));
        QCOMPARE(f.bbs.SaveCount(), 0);
        QVERIFY(!f.bbs.IsImport());
        QCOMPARE(state.last(), QVariantList({path + message, true, true}));
        QVERIFY(f.stored(Board).isEmpty());
    }

    void exportWritesNothing()
    {
        CBBSFixture f;
        const QString path = f.dir.filePath(u"export.log"_s);
        QCOMPARE(f.bbs.ExportLog(Board, path), 0);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestCBBSImport)
#include "tst_cbbs_import.moc"
