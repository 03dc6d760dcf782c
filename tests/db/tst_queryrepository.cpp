#include "NewLogDatabase.h"

#include "db/QueryRepository.h"

using namespace Qt::StringLiterals;

/** Stored query "q" (SELECT 1) over a new log database. */
class TestQueryRepository : public QObject
{
    Q_OBJECT

    std::unique_ptr<NewLogDatabase> m_log;
    std::unique_ptr<QueryRepository> m_queries;

private slots:
    void init()
    {
        m_log = std::make_unique<NewLogDatabase>();
        QVERIFY(m_log->db);
        m_queries = std::make_unique<QueryRepository>(*m_log->db);
        QVERIFY(m_queries->Create(u"q"_s, u"SELECT 1"_s));
    }

    void cleanup()
    {
        m_queries.reset();
        m_log.reset();
    }

    void refusedWritesChangeNothing_data()
    {
        QTest::addColumn<int>("write"); // 0 create, 1 overwrite, 2 delete
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("number");
        QTest::newRow("create an existing query") << 0 << u"Q"_s << u"SELECT 2"_s << int(DbError::ObjectExists);
        QTest::newRow("create over a table") << 0 << u"Message"_s << u"SELECT 2"_s << int(DbError::ObjectExists);
        QTest::newRow("create a statement that cannot run") << 0 << u"new"_s << u"SELECT FROM"_s << int(DbError::Other);
        QTest::newRow("overwrite with a statement that cannot run") << 1 << u"q"_s << u"SELECT FROM"_s << int(DbError::Other);
        QTest::newRow("overwrite a missing query") << 1 << u"none"_s << u"SELECT 2"_s << int(DbError::ItemNotFound);
        QTest::newRow("delete a missing query") << 2 << u"none"_s << QString() << int(DbError::ItemNotFound);
    }

    void refusedWritesChangeNothing()
    {
        QFETCH(int, write);
        QFETCH(QString, name);
        QFETCH(QString, sql);
        QFETCH(int, number);
        const bool written = write == 0   ? m_queries->Create(name, sql)
                             : write == 1 ? m_queries->Overwrite(name, sql)
                                          : m_queries->Delete(name);
        QVERIFY(!written);
        QCOMPARE(m_queries->LastError().number, number);
        QCOMPARE(m_queries->Names(), QStringList{u"q"_s});
        QCOMPARE(m_queries->Definition(u"q"_s), u"SELECT 1"_s);
        QVERIFY(!m_log->db->InTransaction());
    }

    void overwriteReplacesTextAndName()
    {
        QVERIFY(m_queries->Overwrite(u"Q"_s, u"SELECT 2"_s));
        QCOMPARE(m_queries->Names(), QStringList{u"Q"_s});
        QCOMPARE(m_queries->Definition(u"q"_s), u"SELECT 2"_s);
    }
};

QTEST_GUILESS_MAIN(TestQueryRepository)
#include "tst_queryrepository.moc"
