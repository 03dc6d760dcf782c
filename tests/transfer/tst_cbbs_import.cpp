#include "CBBSFixture.h"

#include "transfer/ImportRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTimer>

using namespace Qt::StringLiterals;
using LogFormat::sampleLog;

namespace {

constexpr int Board = CBBSFixture::SingleBoard; // 雑談掲示板, log files "zatsudan*"
const QString TextFile = QStringLiteral(TESSERA_TEST_DATA "/import/zatsudan-2001.log");
const QString OneArchive = QStringLiteral(TESSERA_TEST_DATA "/import/one.lzh");
const QString TwoArchive = QStringLiteral(TESSERA_TEST_DATA "/import/two.lzh");
const QString ReadmeArchive = QStringLiteral(TESSERA_TEST_DATA "/import/readme.lzh");
const QString FirstLog = QStringLiteral(TESSERA_TEST_DATA "/import/first.log");
const QString SecondLog = QStringLiteral(TESSERA_TEST_DATA "/import/second.log");

using Pairs = QList<std::pair<int, int>>;

/** Writes @p bytes to file @p name in the fixture's folder (making its folders) and gives its path. */
QString fileIn(CBBSFixture &f, const QString &name, const QByteArray &bytes)
{
    const QString path = f.dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    writeFile(path, bytes);
    return path;
}

/** @p archive (lha's level-2 header) with its first member claiming @p size bytes, header CRC fixed. */
QByteArray withClaimedSize(QByteArray archive, quint32 size)
{
    const auto le16 = [&](qsizetype at) { return quint8(archive[at]) | quint8(archive[at + 1]) << 8; };
    for (int i = 0; i < 4; ++i)
        archive[11 + i] = char(size >> (8 * i));
    qsizetype crcAt = 0; // extended headers are [type][data][size of the next]; type 0 holds the CRC
    for (qsizetype at = 26, next = le16(24); next != 0; at += next, next = le16(at - 2))
        crcAt = archive[at] == 0 ? at + 1 : crcAt;
    archive[crcAt] = archive[crcAt + 1] = 0;
    quint16 crc = 0; // CRC-16, polynomial 0xA001 reflected
    for (const char c : archive.first(le16(0))) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    archive[crcAt] = char(crc & 0xFF);
    archive[crcAt + 1] = char(crc >> 8);
    return archive;
}

// A log of messages 2 and 1 whose first body (given in @p body) puts the first character of
// @p atBoundary at the last byte of the first piece the import reads (1 MiB).
QByteArray straddlingLog(const QString &atBoundary, QString &body)
{
    constexpr qsizetype PieceBytes = 1024 * 1024;
    BoardMessage first = LogFormat::sampleMessage(2);
    first.body = u"§"_s;
    const qsizetype bodyAt = LogFormat::toCp932(LogFormat::entry(0, first)).indexOf(LogFormat::toCp932(u"§"_s));
    body = QString(PieceBytes - 1 - bodyAt, u'a') + atBoundary + u"b"_s;
    first.body = body;
    return LogFormat::toCp932(LogFormat::log(0, {first, LogFormat::sampleMessage(1)}));
}

/** Runs @p run over @p files and waits for its end; its result (an empty one when no end came). */
ImportRun::Result runImport(ImportRun &run, int board, const QStringList &files, bool read)
{
    std::optional<ImportRun::Result> result;
    const QMetaObject::Connection end
        = QObject::connect(&run, &ImportRun::Finished, [&result](const ImportRun::Result &r) { result = r; });
    if (run.Start(board, files, read) && !QTest::qWaitFor([&result] { return result.has_value(); }, 60000))
        qWarning("the import run did not end");
    QObject::disconnect(end);
    return result.value_or(ImportRun::Result{});
}

} // namespace

class TestCBBSImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<CMessage>(); }

    // The name decides between a text file and an archive; an archive stores what the text
    // members it holds store, and skips a member without entries.
    void textsAndArchives_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("texts"); // the text files that store the same
        QTest::newRow("text") << u"zatsudan.log"_s << TextFile << QStringList{TextFile};
        QTest::newRow("archive") << u"one.lzh"_s << OneArchive << QStringList{TextFile};
        QTest::newRow("archive of two logs") << u"two.lzh"_s << TwoArchive << QStringList{FirstLog, SecondLog};
        QTest::newRow("archive with a readme") << u"readme.lzh"_s << ReadmeArchive << QStringList{SecondLog};
        QTest::newRow("archive named in capitals") << u"x.y.LZH"_s << OneArchive << QStringList{TextFile};
        QTest::newRow("text with .lzh inside its name") << u"old.lzh.txt"_s << TextFile << QStringList{TextFile};
        QTest::newRow("text in a folder named .lzh") << u"a.lzh/old"_s << TextFile << QStringList{TextFile};
    }

    void textsAndArchives()
    {
        QFETCH(QString, name);
        QFETCH(QString, source);
        QFETCH(QStringList, texts);
        CBBSFixture f;
        CBBSFixture reference;
        for (const QString &text : texts)
            QVERIFY(reference.import(Board, text));
        QVERIFY(f.import(Board, fileIn(f, name, readFile(source))));
        QCOMPARE(f.stored(Board), reference.stored(Board));
    }

    // Line breaks of any kind are made CR LF as in received pages (body lines stay apart), and
    // text after the last separator is one more entry: nothing is merged or dropped without a word.
    void noEntryIsMergedOrDropped_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("clean");
        const QByteArray log = sampleLog(1, 3);
        const QByteArray separator = LogFormat::toCp932(LogFormat::separator());
        QByteArray lfSeparator = log;
        lfSeparator.replace(log.indexOf(separator), separator.size(), QByteArray(separator).replace("\r\n", "\n"));
        QTest::newRow("LF separator in a CR LF file") << lfSeparator << 3 << true;
        QTest::newRow("no separator after the last") << log.chopped(separator.size()) << 3 << true;
        QTest::newRow("separator without line break") << log.chopped(2) << 3 << true;
        QTest::newRow("blank tail") << log + "\r\n \x1a" << 3 << true;
        QTest::newRow("broken tail") << log + LogFormat::toCp932(u"壊れた記事"_s) << 3 << false;
        const QByteArray fifty = sampleLog(1, 50);
        const QByteArray padded = separator.mid(2, separator.size() - 4);
        QTest::newRow("blanks around every separator line")
            << QByteArray(fifty).replace(separator, "\r\n \t" + padded + "   \r\n") << 50 << true;
        QTest::newRow("LF only") << QByteArray(log).replace("\r\n", "\n") << 3 << true;
        QTest::newRow("CR only") << QByteArray(log).replace("\r\n", "\r") << 3 << true;
    }

    void noEntryIsMergedOrDropped()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, stored);
        QFETCH(bool, clean);
        CBBSFixture f;
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QCOMPARE(f.import(Board, fileIn(f, u"a.log"_s, content)), clean);
        QCOMPARE(f.stored(Board).size(), stored);
        QCOMPARE(errors.count(), clean ? 0 : 1);
        QVERIFY(f.stored(Board).first().Body.contains(u"\r\n"_s));
    }

    // The file is read in pieces: a CR LF or a two-byte character cut by a piece's end is whole.
    void piecesJoinWhatTheirEndCuts_data()
    {
        QTest::addColumn<QString>("atBoundary");
        QTest::newRow("CR LF") << u"\r\n"_s;
        QTest::newRow("two-byte character") << u"あ"_s;
    }

    void piecesJoinWhatTheirEndCuts()
    {
        QFETCH(QString, atBoundary);
        CBBSFixture f;
        QString body;
        QVERIFY(f.import(Board, fileIn(f, u"a.log"_s, straddlingLog(atBoundary, body))));
        const QList<CMessage> stored = f.stored(Board);
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored.at(1).Body, body);
    }

    // A long file is read in pieces: between them the event loop turns, and then no transaction
    // is open; entry numbers in the texts count through the whole file.
    void piecesOfALongFile()
    {
        CBBSFixture f;
        const QString path = fileIn(f, u"a.log"_s, sampleLog(1, 6000) + QByteArray("not an entry\r\n"));
        int turns = 0;
        int inTransaction = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, &timer, [&] {
            ++turns;
            inTransaction += f.db->InTransaction();
        });
        timer.start(0);
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QVERIFY(!f.import(Board, path));
        QVERIFY(turns > 0);
        QCOMPARE(inTransaction, 0);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(2).toString(), u"6000件目のログが壊れていました。"_s);
    }

    // A reply is stored in its parent's thread wherever the pieces of the file cut between them;
    // a parent that is not stored from the file (a duplicate, a refused entry) gives its thread
    // as it is stored, or none.
    void repliesJoinTheirParentsThread_data()
    {
        QTest::addColumn<Pairs>("saved");    // number and reply stored before the import
        QTest::addColumn<QList<BoardMessage>>("log");
        QTest::addColumn<Pairs>("roots");    // number and the root it must have
        QList<BoardMessage> chain; // 1500 replies in a row, newest first, over more than one piece
        for (int number = 1500; number >= 1; --number) {
            chain.append(LogFormat::sampleMessage(number, number - 1));
            chain.last().body += QString(400, u'あ');
        }
        QTest::newRow("chain over pieces") << Pairs{} << chain << Pairs{{1500, 1}, {750, 1}, {2, 1}, {1, 1}};
        QTest::newRow("parent stored before")
            << Pairs{{5, 0}} << QList<BoardMessage>{LogFormat::sampleMessage(6, 5), LogFormat::sampleMessage(5, 4),
                                                      LogFormat::sampleMessage(4, 0)}
            << Pairs{{6, 5}, {5, 5}, {4, 4}};
        BoardMessage empty = LogFormat::sampleMessage(2, 0);
        empty.body.clear();
        QTest::newRow("parent refused") << Pairs{} << QList<BoardMessage>{LogFormat::sampleMessage(3, 2), empty}
                                        << Pairs{{3, 3}};
    }

    void repliesJoinTheirParentsThread()
    {
        QFETCH(Pairs, saved);
        QFETCH(QList<BoardMessage>, log);
        QFETCH(Pairs, roots);
        CBBSFixture f;
        f.save(Board, saved);
        QVERIFY(f.bbs.UpdateThreads(Board));
        f.import(Board, fileIn(f, u"a.log"_s, LogFormat::toCp932(LogFormat::log(0, log))));
        QHash<int, int> stored;
        for (const CMessage &msg : f.stored(Board))
            stored.insert(msg.ID, msg.RootThread);
        for (const auto &[number, root] : roots)
            QCOMPARE(stored.value(number), root);
    }

    void countsAndBrokenEntriesBelongToEachFile()
    {
        CBBSFixture f;
        f.bbs.AnalyseLog(Board, LogFormat::log(0, {LogFormat::sampleMessage(100)}), false); // a load before
        QVERIFY(f.import(Board, fileIn(f, u"a.log"_s, sampleLog(1, 5))));
        QCOMPARE(f.bbs.SaveCount(), 5);
        BoardMessage broken = LogFormat::sampleMessage(9);
        broken.rawEntry = u"記事番号　：　abc"_s;
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        const QByteArray mixed = sampleLog(4, 7) + LogFormat::toCp932(LogFormat::log(0, {broken}));
        QVERIFY(!f.import(Board, fileIn(f, u"b.log"_s, mixed)));
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(2).toString(), u"4件目のログが壊れていました。"_s);
        QVERIFY(!state.last().at(2).toBool()); // no summary after a broken entry
    }

    // An entry whose number is stored already is a duplicate, unless its row would be refused
    // anyway: then it is reported as refused, whatever the order of the checks.
    void storedNumbersAreDuplicatesUnlessRefused_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("errors");
        QTest::newRow("duplicate") << u"題名"_s << u"本文"_s << 0;
        QTest::newRow("subject of 255 characters") << QString(255, u'あ') << u"本文"_s << 0;
        QTest::newRow("subject too long") << QString(256, u'a') << u"本文"_s << 1;
        QTest::newRow("no body") << u"題名"_s << QString() << 1;
    }

    void storedNumbersAreDuplicatesUnlessRefused()
    {
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(int, errors);
        CBBSFixture f;
        QVERIFY(f.import(Board, fileIn(f, u"a.log"_s, sampleLog(1, 3))));
        BoardMessage again = LogFormat::sampleMessage(2);
        again.subject = subject;
        again.body = body;
        QSignalSpy refused(&f.bbs, &CBBS::LoadError);
        QCOMPARE(f.import(Board, fileIn(f, u"b.log"_s, LogFormat::toCp932(LogFormat::log(0, {again})))), errors == 0);
        QCOMPARE(f.bbs.SaveCount(), 0);
        QCOMPARE(refused.count(), errors);
    }

    void unusableFilesAreNotImported_data()
    {
        QTest::addColumn<QString>("name"); // a name ending in "/" is made a folder
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray archive = readFile(OneArchive);
        QByteArray damaged = archive;
        for (qsizetype i = 2; i < 7; ++i) // the first header's method: no LHA archive at all
            damaged[i] = char(~damaged[i]);
        const QByteArray cut = sampleLog(1, 1) + "\x82";
        QTest::newRow("folder") << u"folder.log/"_s << QByteArray() << u"はファイルではないため"_s;
        QTest::newRow("empty") << u"empty.log"_s << QByteArray("") << u"は空のファイルのため"_s;
        QTest::newRow("damaged header") << u"damaged.lzh"_s << damaged << u"はLHA書庫として読めなかったため"_s;
        QTest::newRow("64 MiB + 1") << u"big.lzh"_s << withClaimedSize(archive, 64 * 1024 * 1024 + 1)
                                   << u"の中のzatsudan-2001.logは64MBを超えるため"_s;
        QTest::newRow("512 MiB + 1") << u"huge.log"_s << QByteArray("sparse") << u"は512MBを超えるため"_s;
        QTest::newRow("cut character") << u"cut.log"_s << cut
            << u"の%1行目にShift_JIS(CP932)として読めない文字があるため"_s.arg(cut.count('\n') + 1);
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
        } else if (content == "sparse") { // a sparse file: the size without the bytes
            QFile huge(path);
            QVERIFY(huge.open(QIODevice::WriteOnly));
            QVERIFY(huge.resize(512 * 1024 * 1024 + 1));
        } else {
            fileIn(f, name, content);
        }
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(!f.import(Board, path));
        QVERIFY(!f.bbs.IsImport());
        QCOMPARE(state.last(), QVariantList({path + message + u"、インポートできませんでした。"_s, true, true}));
        QVERIFY(f.stored(Board).isEmpty());
    }

    // A damaged member is named and skipped, the members after it are imported; an archive cut
    // short keeps what came before the cut, and is not said to be unimported.
    void damagedMembersAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("archive"); // two.lzh: first.log (11, 12), then second.log (21, 22)
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QStringList>("lines"); // after the archive's path
        const QByteArray two = readFile(TwoArchive);
        QByteArray damaged = two;
        const qsizetype firstData = quint8(two[0]) | quint8(two[1]) << 8; // after the first header
        for (qsizetype i = firstData + 4; i < firstData + 20; ++i)
            damaged[i] = char(~damaged[i]);
        const QString broken = u"の中の%1は壊れているため、インポートできませんでした。"_s;
        QTest::newRow("first member damaged") << damaged << QList<int>{21, 22} << QStringList{broken.arg(u"first.log"_s)};
        QTest::newRow("cut inside the last member")
            << two.chopped(20) << QList<int>{11, 12}
            << QStringList{broken.arg(u"second.log"_s), u"は途中で切れているか壊れているため、最後まで読めませんでした。"_s};
    }

    void damagedMembersAreSkipped()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QList<int>, stored);
        QFETCH(QStringList, lines);
        CBBSFixture f;
        const QString path = fileIn(f, u"a.lzh"_s, archive);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(!f.import(Board, path));
        QList<int> ids;
        for (const CMessage &msg : f.stored(Board))
            ids.append(msg.ID);
        QCOMPARE(ids, stored);
        for (const QString &line : lines)
            QVERIFY2(state.contains({path + line, true, true}), qPrintable(line));
    }

    // A cancel left from an earlier run stops nothing; a new one ends the run after the current
    // file, with its rows committed, and a second run completes them.
    void aCancelEndsTheRunAfterTheCurrentFile()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        const QString a = fileIn(f, u"a.log"_s, sampleLog(1, 500));
        const QString b = fileIn(f, u"b.log"_s, sampleLog(501, 510));
        bool importing = false;
        connect(&f.bbs, &CBBS::Loaded, &f.bbs, [&] { importing = f.bbs.IsImport(); });
        connect(&f.bbs, &CBBS::StateChanged, &f.bbs, [&](const QString &text) {
            if (text == u"39件目を解析中..."_s) // the 40th entry is stored
                f.bbs.Cancel();
        });
        f.bbs.Cancel();
        QSignalSpy info(&run, &ImportRun::InfoChanged);
        const ImportRun::Result result = runImport(run, Board, {a, b}, false);
        QVERIFY(result.Cancelled);
        QVERIFY(importing);
        QVERIFY(!f.bbs.IsImport());
        QCOMPARE(result.Total, 40);
        QCOMPARE(info.size(), 2); // the second file is not started
        QCOMPARE(info.last(), QVariantList({u"処理は中断されました。"_s, 3, true}));
        std::unique_ptr<Database> other = Database::Open(f.path());
        QCOMPARE(other->OpenRecordset(u"SELECT Count(*) FROM Message"_s)->Value(0, 0).toInt(), 40);
        f.bbs.disconnect(&f.bbs);
        QCOMPARE(runImport(run, Board, {a, b}, false).Total, 470);
    }
};

QTEST_GUILESS_MAIN(TestCBBSImport)
#include "tst_cbbs_import.moc"
