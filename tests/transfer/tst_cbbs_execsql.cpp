#include "CBBSFixture.h"

#include "app/Prompter.h"

using namespace Qt::StringLiterals;

class TestCBBSExecSQL : public QObject
{
    Q_OBJECT

    ScriptedPrompter m_prompter;

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void queryTypesAndCounts()
    {
        CBBSFixture f;
        f.save(4, {{1, 0}, {2, 1}, {3, 0}});
        const QList<std::tuple<QString, int, int>> cases{
            {u"SELECT * FROM Message"_s, 0, 3},
            {u"SELECT ID FROM Message WHERE ID > 1 UNION SELECT BBS_ID FROM BBS WHERE BBS_ID < 5"_s, 128, 3},
            {u"TRANSFORM Count(ID) SELECT BBS_ID FROM Message GROUP BY BBS_ID PIVOT Read"_s, 16, 1},
            {u"UPDATE Message SET Mark = 2 WHERE ID >= 2"_s, 48, 2},
            {u"INSERT INTO Message SELECT BBS_ID, ID + 10 AS ID, Read, Subject, Homepage, Mail, PostName,"
             " PostDate, InReplyTo, Body, RootThread, Mark FROM Message"_s, 64, 3},
            {u"SELECT * INTO Copy FROM Message WHERE Mark = 2"_s, 80, 4},
            {u"DELETE FROM Message WHERE ID > 10"_s, 32, 3},
            {u"CREATE TABLE Extra (A LONG)"_s, 96, 0},
        };
        for (const auto &[sql, type, count] : cases) {
            DbError error;
            QCOMPARE(f.bbs.ExecSQL(sql, &error), std::optional<int>(type));
            QVERIFY2(!error, qPrintable(error.description));
            QCOMPARE(f.bbs.count(), count);
        }
        // Statements of no query type (the engine's own) are not run.
        QCOMPARE(f.bbs.ExecSQL(u"PRAGMA user_version = 7"_s), std::optional<int>(112));
        QCOMPARE(f.db->OpenRecordset(u"PRAGMA user_version"_s)->Value(0).toInt(), 0);
    }

    void sqlTypeAndMessages()
    {
        CBBSFixture f;
        f.save(4, {{1, 0}, {2, 1}});
        QVERIFY(f.db->Execute(u"UPDATE Message SET Read = True, Mark = 3, Subject = 'S|''' WHERE ID = 2"_s));
        QVERIFY(f.bbs.ExecSQL(u"SELECT * FROM Message ORDER BY ID DESC"_s));
        QCOMPARE(f.bbs.SQLType(), 0);
        QCOMPARE(f.bbs.count(), 2);
        CMessage second;
        second.BBS_ID = 4;
        second.ID = 2;
        second.InReplyTo = 1;
        second.Read = true;
        second.Mark = 3;
        second.Subject = u"S|'"_s;
        second.Body = u"本文"_s;
        second.PostDate = CMessage::WallClock(QDate(2024, 1, 1), QTime(12, 0));
        QCOMPARE(*f.bbs.Messages(0), second);
        QCOMPARE(f.bbs.Messages(0)->PostDate.timeSpec(), Qt::UTC);
        QVERIFY(f.bbs.Messages(1)->ID == 1 && !f.bbs.Messages(2) && !f.bbs.Messages(-1));
        f.bbs.Recordset()->MoveNext(); // GetMessage follows the result's cursor
        QCOMPARE(f.bbs.GetMessage()->ID, 1);

        const QList<std::pair<QString, int>> types{
            {u"select bbs_id, id, read, subject, homepage, mail, postname, postdate, inreplyto,"
             " body, rootthread, mark from Message"_s, 0},
            {u"SELECT ID, Subject FROM Message"_s, 1},
            {u"SELECT ID, BBS_ID, Read, Subject, Homepage, Mail, PostName, PostDate, InReplyTo,"
             " Body, RootThread, Mark FROM Message"_s, 1}, // same columns, other order
        };
        for (const auto &[sql, type] : types) {
            QVERIFY(f.bbs.ExecSQL(sql));
            QCOMPARE(f.bbs.SQLType(), type);
        }

        // Other rows still give what they hold by column name.
        QVERIFY(f.bbs.ExecSQL(u"SELECT Subject, ID FROM Message WHERE ID = 2"_s));
        const std::optional<CMessage> partial = f.bbs.Messages(0);
        QVERIFY(partial);
        QCOMPARE(std::tuple(partial->Subject, partial->ID, partial->BBS_ID), std::tuple(u"S|'"_s, 2, 0));

        // Action statements, also failing ones, leave the result open; Initialize closes it.
        QCOMPARE(f.bbs.ExecSQL(u"DELETE FROM Message WHERE ID = 1"_s), std::optional<int>(32));
        QVERIFY(!f.bbs.ExecSQL(u"DELETE FROM NoTable"_s));
        QCOMPARE(f.bbs.count(), 1);
        f.bbs.Initialize(f.db.get());
        QVERIFY(!f.bbs.Recordset() && !f.bbs.Messages(0));
        QCOMPARE(f.bbs.SQLType(), 1);
    }

    void errorsReachTheCaller()
    {
        CBBSFixture f;
        DbError error;
        QVERIFY(!f.bbs.ExecSQL(u"SELECT * FROM Message; DELETE FROM Message"_s, &error));
        QCOMPARE(error.number, int(DbError::ExtraCharacters));
        QVERIFY(!CBBS().ExecSQL(u"SELECT 1"_s, &error));
        QCOMPARE(error.number, int(DbError::InvalidOperation));
        // Nothing of the runs is left behind in the stored queries.
        QVERIFY(f.db->QueryDefNames().isEmpty());
    }

    void parametersAreAskedByName()
    {
        CBBSFixture f;
        f.save(4, {{1, 0}, {2, 0}, {3, 0}});
        m_prompter.pushText(u"4"_s);
        m_prompter.pushText(u"2"_s);
        QVERIFY(f.bbs.ExecSQL(u"SELECT * FROM Message WHERE BBS_ID = [掲示板] AND ID >= [最小番号]"_s));
        QCOMPARE(m_prompter.textPrompts(), QStringList({u"掲示板"_s, u"最小番号"_s}));
        QCOMPARE(f.bbs.count(), 2);

        m_prompter.pushText(std::nullopt); // cancel runs nothing
        DbError error;
        QVERIFY(!f.bbs.ExecSQL(u"DELETE FROM Message WHERE ID <> [番号]"_s, &error));
        QCOMPARE(error.number, int(DbError::TooFewParameters));
        QCOMPARE(f.stored(4).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestCBBSExecSQL)
#include "tst_cbbs_execsql.moc"
