#include "cli/CliHome.h"

#include <QFile>

using namespace Qt::StringLiterals;

// The cases run in order on one home folder: the first one writes the rows the others read.
class TestCliQuery : public QObject
{
    Q_OBJECT

    CliHome m_home;

    CliRun query(const QStringList &args, const QString &timeZone = u"UTC"_s) const
    {
        return m_home.run(QStringList{u"query"_s} + args, timeZone);
    }

    /** Runs @p sql and checks it succeeds with the output @p out. */
    void expect(const QString &sql, const QString &out)
    {
        const CliRun run = query({sql});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, out);
    }

private slots:
    void initTestCase() { QVERIFY2(QFile::exists(CliHome::program()), "build tessera-cli first"); }

    void actionStatementsPrintTheirCountLine()
    {
        expect(u"INSERT INTO Message VALUES(4, 1, True, 'a|''b', '', '', '名前',"
               " #2024/01/02 03:04:05#, 0, '一' & Chr(13) & Chr(10) & '二' & Chr(9) & '\\', 1, 0)"_s,
               u"1件追加しました。\n"_s);
        expect(u"INSERT INTO Message SELECT BBS_ID, ID + 1 AS ID, False, Subject, Homepage, Mail,"
               " PostName, PostDate, 1, Body, RootThread, 2 FROM Message"_s,
               u"1件追加しました。\n"_s);
        expect(u"UPDATE Message SET Mark = 3 WHERE Mark = 0"_s, u"1件更新しました。\n"_s);
        expect(u"SELECT * INTO Copy FROM Message"_s, u"テーブルを作成し2件追加しました。\n"_s);
        expect(u"DELETE FROM Copy"_s, u"2件削除しました。\n"_s);
        expect(u"DROP TABLE Copy"_s, u"データ定義を完了しました。\n"_s);
        expect(u"PRAGMA user_version = 3"_s, u"現在未対応ですm(_ _)m\n"_s);
    }

    void resultsPrintAHeaderAndOneLinePerRow()
    {
        expect(u"SELECT ID, Read, Subject, PostDate, Body, Max(InReplyTo) AS M, Null AS N FROM Message"
               " WHERE BBS_ID = 4 GROUP BY ID, Read, Subject, PostDate, Body ORDER BY ID"_s,
               u"ID\tRead\tSubject\tPostDate\tBody\tM\tN\n"
               u"1\tTrue\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t0\t\n"
               u"2\tFalse\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t1\t\n"_s);
        expect(u"SELECT Max(PostDate) AS Newest FROM Message"_s, u"Newest\n2024/01/02 03:04:05\n"_s);
        expect(u"SELECT ID FROM Message WHERE ID > 100"_s, u"ID\n"_s);
        // A wall-clock time that the local zone skips is still a date.
        expect(u"UPDATE Message SET PostDate = #2024/03/31 02:30:00# WHERE ID = 2"_s, u"1件更新しました。\n"_s);
        QCOMPARE(query({u"SELECT PostDate FROM Message WHERE ID = 2"_s}, u"Europe/Berlin"_s).out,
                 u"PostDate\n2024/03/31 02:30:00\n"_s);
    }

    void parametersComeFromTheArguments()
    {
        const CliRun run = query({u"SELECT ID FROM Message WHERE ID = [番号] AND Mark = [印]"_s, u"2"_s, u"2"_s});
        QCOMPARE(run.out, u"ID\n2\n"_s);
        QVERIFY(run.status == 0 && run.err.contains(u"番号 -> 2"_s) && run.err.contains(u"印 -> 2"_s));
    }

    void errorsPrintNumberAndDescription()
    {
        const CliRun run = query({u"SELECT * FROM NoSuchTable"_s});
        QVERIFY(run.status == 1 && run.out.isEmpty());
        QVERIFY(run.err.contains(u"実行時エラー '3078':\n入力テーブルまたはクエリ 'NoSuchTable' が見つかりませんでした。"_s));
        const CliRun duplicate = query({u"INSERT INTO Mark VALUES(1, 'x', 0, 0)"_s});
        QVERIFY(duplicate.status == 1 && duplicate.err.contains(u"実行時エラー '3022':"_s));
        QCOMPARE(query({}).status, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliQuery)
#include "tst_cli_query.moc"
