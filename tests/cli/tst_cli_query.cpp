#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestCliQuery : public QObject
{
    Q_OBJECT

    QString m_cli;
    QTemporaryDir m_home;

    Run query(const QStringList &args, const QString &timeZone = u"UTC"_s)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TZ"_s, timeZone);
        process.setProcessEnvironment(environment);
        process.start(m_cli, QStringList{u"--home"_s, m_home.path(), u"query"_s} + args);
        Run run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    /** Runs @p sql and checks it succeeds with the single output line @p line. */
    void expectLine(const QString &sql, const QString &line)
    {
        const Run run = query({sql});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, line + u'\n');
    }

private slots:
    void initTestCase()
    {
        // The test programs are built in build/tests, tessera-cli in build/src.
        m_cli = QDir(QCoreApplication::applicationDirPath() + u"/../src"_s).filePath(u"tessera-cli"_s);
        QVERIFY2(QFile::exists(m_cli), qPrintable(u"build tessera-cli first: "_s + m_cli));
    }

    void actionStatementsPrintTheirCountLine()
    {
        expectLine(u"INSERT INTO Message VALUES(4, 1, True, 'a|''b', '', '', '名前',"
                   " #2024/01/02 03:04:05#, 0, '一' & Chr(13) & Chr(10) & '二' & Chr(9) & '\\', 1, 0)"_s,
                   u"1件追加しました。"_s);
        expectLine(u"INSERT INTO Message SELECT BBS_ID, ID + 1 AS ID, False, Subject, Homepage, Mail,"
                   " PostName, PostDate, 1, Body, RootThread, 2 FROM Message"_s,
                   u"1件追加しました。"_s);
        expectLine(u"UPDATE Message SET Mark = 3 WHERE Mark = 0"_s, u"1件更新しました。"_s);
        expectLine(u"SELECT * INTO Copy FROM Message"_s, u"テーブルを作成し2件追加しました。"_s);
        expectLine(u"DELETE FROM Copy"_s, u"2件削除しました。"_s);
        expectLine(u"DROP TABLE Copy"_s, u"データ定義を完了しました。"_s);
        expectLine(u"PRAGMA user_version = 3"_s, u"現在未対応ですm(_ _)m"_s);
    }

    void resultsPrintAHeaderAndOneLinePerRow()
    {
        const Run run = query({u"SELECT ID, Read, Subject, PostDate, Body, Max(InReplyTo) AS M, Null AS N"
                                " FROM Message WHERE BBS_ID = 4 GROUP BY ID, Read, Subject, PostDate, Body"
                                " ORDER BY ID"_s});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out.split(u'\n'),
                 QStringList({u"ID\tRead\tSubject\tPostDate\tBody\tM\tN"_s,
                              u"1\tTrue\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t0\t"_s,
                              u"2\tFalse\ta|'b\t2024/01/02 03:04:05\t一\\r\\n二\\t\\\\\t1\t"_s,
                              QString()}));

        const Run dates = query({u"SELECT Max(PostDate) AS Newest FROM Message"_s});
        QCOMPARE(dates.out, u"Newest\n2024/01/02 03:04:05\n"_s);
        // A wall-clock time that the local zone skips is still a date.
        query({u"UPDATE Message SET PostDate = #2024/03/31 02:30:00# WHERE ID = 2"_s});
        const Run skipped = query({u"SELECT PostDate FROM Message WHERE ID = 2"_s}, u"Europe/Berlin"_s);
        QCOMPARE(skipped.out, u"PostDate\n2024/03/31 02:30:00\n"_s);
        const Run empty = query({u"SELECT ID FROM Message WHERE ID > 100"_s});
        QCOMPARE(empty.out, u"ID\n"_s);
    }

    void parametersComeFromTheArguments()
    {
        const Run run = query({u"SELECT ID FROM Message WHERE ID = [番号] AND Mark = [印]"_s, u"2"_s, u"2"_s});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(run.out, u"ID\n2\n"_s);
        QVERIFY(run.err.contains(u"番号 -> 2"_s));
        QVERIFY(run.err.contains(u"印 -> 2"_s));
    }

    void errorsPrintNumberAndDescription()
    {
        const Run run = query({u"SELECT * FROM NoSuchTable"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QString());
        QVERIFY(run.err.contains(u"実行時エラー '3078':\n入力テーブルまたはクエリ 'NoSuchTable' が見つかりませんでした。"_s));
        const Run duplicate = query({u"INSERT INTO Mark VALUES(1, 'x', 0, 0)"_s});
        QCOMPARE(duplicate.status, 1);
        QVERIFY(duplicate.err.contains(u"実行時エラー '3022':"_s));
        QCOMPARE(query({}).status, 2);
    }
};

QTEST_GUILESS_MAIN(TestCliQuery)
#include "tst_cli_query.moc"
