#include "app/Prompter.h"
#include "db/Database.h"
#include "db/JetSql.h"
#include "db/QueryCursor.h"
#include "db/mdlDatabase.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

/** The query cursor over a new log database holding messages 1 (unread) and 2 (read, marked) of board 4. */
class TestQueryCursor : public QObject
{
    Q_OBJECT

    ScriptedPrompter m_prompter;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<QueryCursor> m_cursor;

    const CMessage m_second{4, 2, u"S|'"_s, u"http://h.example.jp/"_s, u"m@example.jp"_s, u"名前"_s,
                            CMessage::WallClock(QDate(2024, 1, 1), QTime(12, 0)), 1, u"本文"_s, 0, 3, true};

    void store(const CMessage &m)
    {
        Statement insert = m_db->Prepare(u"INSERT INTO Message VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"_s);
        const QVariant values[] = {m.BBS_ID, m.ID, m.Read, m.Subject, m.HomePage, m.Mail, m.PostName,
                                   JetSql::StoredDate(m.PostDate), m.InReplyTo, m.Body, m.RootThread, m.Mark};
        for (int i = 0; i < 12; ++i)
            insert.Bind(i + 1, values[i]);
        QVERIFY2(insert.Execute(), qPrintable(m_db->LastError().description));
    }

    int userVersion() { return m_db->OpenRecordset(u"PRAGMA user_version"_s)->Value(0).toInt(); }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }
    void cleanupTestCase() { setPrompter(nullptr); }

    void init()
    {
        m_prompter.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        m_db = mdlDatabase::CreateLogDatabase(m_dir->filePath(u"log.mdb"_s));
        QVERIFY(m_db);
        CMessage first = m_second;
        std::tie(first.ID, first.Read, first.Mark, first.InReplyTo) = std::tuple(1, false, 0, 0);
        store(first);
        store(m_second);
        m_cursor = std::make_unique<QueryCursor>(m_db.get());
    }

    void cleanup()
    {
        m_cursor.reset();
        m_db.reset();
    }

    void statementsReturnTheirQueryType_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::newRow("union") << u"SELECT ID FROM Message UNION SELECT 9"_s << int(JetSql::Union) << 3;
        QTest::newRow("crosstab") << u"TRANSFORM Count(ID) SELECT BBS_ID FROM Message GROUP BY BBS_ID PIVOT Read"_s
                                  << int(JetSql::Crosstab) << 1;
        QTest::newRow("append") << u"INSERT INTO Mark (ID, Name) VALUES (9, 'x')"_s << int(JetSql::Append) << 1;
    }

    void statementsReturnTheirQueryType()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        QFETCH(int, count);
        DbError error;
        QCOMPARE(m_cursor->ExecSQL(sql, &error), std::optional<int>(type));
        QVERIFY2(!error, qPrintable(error.description));
        QCOMPARE(m_cursor->count(), count);
    }

    // Statements of no query type are the engine's own: the cursor refuses them with a reason
    // of its own, asks for nothing and runs nothing, and the open result stays.
    void engineStatementsAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("PRAGMA") << u"PRAGMA user_version = [version]"_s;
        QTest::newRow("ATTACH") << u"ATTACH 'other.mdb' AS other"_s;
        QTest::newRow("VACUUM") << u"VACUUM"_s;
        QTest::newRow("BEGIN") << u"BEGIN"_s;
        QTest::newRow("EXPLAIN") << u"EXPLAIN SELECT * FROM Message"_s;
    }

    void engineStatementsAreRefused()
    {
        QFETCH(QString, sql);
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message"_s));
        m_prompter.pushText(u"7"_s);
        DbError error;
        QVERIFY(!m_cursor->ExecSQL(sql, &error));
        QCOMPARE(error.number, QueryCursor::Refusal().number);
        QCOMPARE(error.description, u"現在未対応ですm(_ _)m"_s);
        QVERIFY(m_prompter.textPrompts().isEmpty());
        QCOMPARE(userVersion(), 0);
        QVERIFY(!m_db->InTransaction());
        QCOMPARE(m_cursor->count(), 2);
    }

    void sqlTypeIsZeroForExactlyTheMessageColumns_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("sqlType");
        QTest::newRow("all columns") << u"SELECT * FROM Message"_s << 0;
        QTest::newRow("named, other case") << u"select bbs_id, id, read, subject, homepage, mail, postname, postdate,"
                                              " inreplyto, body, rootthread, mark from Message"_s
                                           << 0;
        QTest::newRow("some columns") << u"SELECT ID, Subject FROM Message"_s << 1;
        QTest::newRow("other order") << u"SELECT ID, BBS_ID, Read, Subject, Homepage, Mail, PostName, PostDate, InReplyTo,"
                                        " Body, RootThread, Mark FROM Message"_s
                                     << 1;
    }

    void sqlTypeIsZeroForExactlyTheMessageColumns()
    {
        QFETCH(QString, sql);
        QFETCH(int, sqlType);
        QVERIFY(m_cursor->ExecSQL(sql));
        QCOMPARE(m_cursor->SQLType(), sqlType);
    }

    void rowsReadBackAsTheMessagesStored()
    {
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message ORDER BY ID DESC"_s));
        QCOMPARE(*m_cursor->Messages(0), m_second);
        QCOMPARE(m_cursor->Messages(0)->PostDate.timeSpec(), Qt::UTC);
        QCOMPARE(m_cursor->Messages(1)->ID, 1);
        QVERIFY(!m_cursor->Messages(2));
        m_cursor->Recordset()->MoveNext(); // GetMessage follows the result's cursor
        QCOMPARE(m_cursor->GetMessage()->ID, 1);
    }

    // Action statements, also failing ones, leave the result open; Initialize closes it.
    void onlyAResultOrInitializeReplacesTheResult()
    {
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message"_s));
        QVERIFY(m_cursor->ExecSQL(u"DELETE FROM Message WHERE ID = 1"_s));
        QVERIFY(!m_cursor->ExecSQL(u"DELETE FROM NoTable"_s));
        QVERIFY(m_cursor->Messages(1));
        m_cursor->Initialize(m_db.get());
        QVERIFY(!m_cursor->Recordset());
        QCOMPARE(m_cursor->SQLType(), 1);
    }

    // The window's cursor outlives a database that failed to reopen after compaction.
    void noDatabaseIsAnError()
    {
        QueryCursor cursor(nullptr);
        DbError error;
        QVERIFY(!cursor.ExecSQL(u"SELECT 1"_s, &error));
        QCOMPARE(error.number, DbError::InvalidOperation);
    }

    void parametersAreAskedByName()
    {
        m_prompter.pushText(u"4"_s);
        m_prompter.pushText(u"2"_s);
        QVERIFY(m_cursor->ExecSQL(u"SELECT * FROM Message WHERE BBS_ID = [掲示板] AND ID >= [最小番号]"_s));
        QCOMPARE(m_prompter.textPrompts(), QStringList({u"掲示板"_s, u"最小番号"_s}));
        QCOMPARE(m_cursor->count(), 1);
    }

    void aCancelledParameterRunsNothing()
    {
        m_prompter.pushText(std::nullopt);
        DbError error;
        QVERIFY(!m_cursor->ExecSQL(u"DELETE FROM Message WHERE ID <> [番号]"_s, &error));
        QCOMPARE(error.number, int(DbError::TooFewParameters));
        QCOMPARE(m_db->OpenRecordset(u"SELECT Count(*) FROM Message"_s)->Value(0).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestQueryCursor)
#include "tst_querycursor.moc"
