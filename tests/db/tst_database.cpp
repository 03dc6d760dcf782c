#include "db/Database.h"
#include "db/Transaction.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TableDef messageTable()
{
    TableDef def{u"Message"_s, {}, {}};
    def.fields = {
        {u"BBS_ID"_s, FieldType::Long, 0, true, u"掲示板番号"_s},
        {u"ID"_s, FieldType::Long, 0, true, {}},
        {u"Read"_s, FieldType::Boolean, 0, true, {}},
        {u"Subject"_s, FieldType::Text, 255, true, {}},
        {u"PostDate"_s, FieldType::Date, 0, true, {}},
        {u"Body"_s, FieldType::Memo, 0, false, u"本文 */ with a comment end"_s},
        {u"RootThread"_s, FieldType::Long, 0, true, {}},
    };
    def.indexes = {{u"PK"_s, {u"ID"_s, u"BBS_ID"_s}, true, true}, {u"IDX1"_s, {u"RootThread"_s}, false, false}};
    return def;
}

/** The program's own form of a message insert: literals, True/False, a date, Chr(124). */
QString insertMessage(int bbs, int id, const QString &subject, const QString &body = u"body"_s)
{
    auto quote = [](QString s) { return s.replace(u"'"_s, u"''"_s).replace(u"|"_s, u"' & Chr(124) & '"_s); };
    return u"INSERT INTO Message(BBS_ID, ID, Read, Subject, PostDate, Body, RootThread) VALUES(%1,%2,False,'%3',#2024/01/02 03:04#,'%4',0)"_s
        .arg(bbs)
        .arg(id)
        .arg(quote(subject), quote(body));
}

QString sqlite3Tool(const QString &file, const QString &sql)
{
    QProcess p;
    p.start(u"sqlite3"_s, {file, sql});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed() + QString::fromUtf8(p.readAllStandardError()).trimmed();
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void init()
    {
        QFile::remove(path(u"log.mdb"_s));
        m_db = Database::Create(path(u"log.mdb"_s));
        QVERIFY(m_db);
        QVERIFY(m_db->CreateTable(messageTable()));
    }

    void cleanup() { m_db.reset(); }

    void openAndCreateErrors()
    {
        DbError error;
        QVERIFY(!Database::Open(path(u"missing.mdb"_s), &error));
        QCOMPARE(error.number, 3024);
        QVERIFY(!Database::Create(path(u"log.mdb"_s), &error));
        QCOMPARE(error.number, 3204);

        // An empty file is no log database: the caller moves it away and creates a new one.
        QFile empty(path(u"empty.mdb"_s));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(!Database::Open(empty.fileName(), &error));
        QCOMPARE(error.number, 3343);

        QFile text(path(u"text.mdb"_s));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(4096, 'x'));
        text.close();
        QVERIFY(!Database::Open(text.fileName(), &error));
        QCOMPARE(error.number, 3343);

        // A file cut short after its header is refused too, not half read.
        {
            Transaction transaction(*m_db);
            for (int i = 1; i <= 200; ++i)
                QVERIFY(m_db->Execute(insertMessage(1, i, u"s"_s, QString(500, u'x'))));
            QVERIFY(transaction.Commit());
        }
        m_db.reset();
        QVERIFY(QFile::copy(path(u"log.mdb"_s), path(u"cut.mdb"_s)));
        QFile cut(path(u"cut.mdb"_s));
        QVERIFY(cut.resize(cut.size() / 2));
        QVERIFY(!Database::Open(cut.fileName(), &error));
        QCOMPARE(error.number, 3343);

        m_db = Database::Open(path(u"log.mdb"_s), &error);
        QVERIFY(m_db);
        QVERIFY(!error);
    }

    void duplicateKeyKeepsStoredRow()
    {
        QVERIFY(m_db->Execute(insertMessage(1, 10, u"first"_s)));
        QCOMPARE(m_db->RecordsAffected(), 1);
        QVERIFY(!m_db->Execute(insertMessage(1, 10, u"second"_s)));
        QCOMPARE(m_db->LastError().number, 3022);
        QVERIFY(m_db->Execute(insertMessage(2, 10, u"other board"_s)));
        const auto rs = m_db->OpenRecordset(u"SELECT Subject FROM Message WHERE BBS_ID = 1 AND ID = 10"_s);
        QVERIFY(rs);
        QCOMPARE(rs->RecordCount(), 1);
        QCOMPARE(rs->Value(0).toString(), u"first"_s);
    }

    void fieldRulesAndErrors()
    {
        QVERIFY(!m_db->Execute(insertMessage(1, 1, u"s"_s, QString())));
        QCOMPARE(m_db->LastError().number, 3315);
        QVERIFY(m_db->LastError().description.contains(u"Body"_s));
        QVERIFY(!m_db->Execute(insertMessage(1, 1, QString(256, u'あ'))));
        QCOMPARE(m_db->LastError().number, 3163);
        QVERIFY(m_db->Execute(insertMessage(1, 1, QString(255, u'あ'))));
        QVERIFY(!m_db->Execute(u"SELECT * FROM Message"_s));
        QCOMPARE(m_db->LastError().number, 3065);
        QVERIFY(!m_db->OpenRecordset(u"DELETE FROM Message"_s));
        QCOMPARE(m_db->LastError().number, 3219);
        QVERIFY(!m_db->OpenRecordset(u"SELECT * FROM Missing"_s));
        QCOMPARE(m_db->LastError().number, 3078);
        QVERIFY(!m_db->Execute(u"DELETE FROM Message; DROP TABLE Message"_s));
        QCOMPARE(m_db->LastError().number, 3142);
        QVERIFY(m_db->TableExists(u"Message"_s));
        QVERIFY(!m_db->Execute(u"  ;  "_s));
        QCOMPARE(m_db->LastError().number, 3129);
        QVERIFY(!m_db->CreateTable(messageTable()));
        QCOMPARE(m_db->LastError().number, 3012);
        QVERIFY(m_db->OpenRecordset(u"SELECT 1"_s));
        QVERIFY(!m_db->LastError());
    }

    void storedValuesAndTypes()
    {
        QVERIFY(m_db->Execute(insertMessage(1, 1, u"Re: it's 'ok' | fine"_s, u"a|b'c"_s)));
        QVERIFY(m_db->Execute(insertMessage(2, 1, u"1e5"_s, u"0123"_s)));
        QVERIFY(m_db->Execute(u"UPDATE Message SET Read = True WHERE ID = 1 AND BBS_ID = 1"_s));
        QCOMPARE(m_db->RecordsAffected(), 1);
        auto rs = m_db->OpenRecordset(u"SELECT Read, Subject, PostDate, Body, Count(*) AS 件数 FROM Message WHERE BBS_ID = 1"_s);
        QVERIFY(rs);
        QCOMPARE(rs->FieldNames(), (QStringList{u"Read"_s, u"Subject"_s, u"PostDate"_s, u"Body"_s, u"件数"_s}));
        QCOMPARE(rs->Value(u"read"_s), QVariant(true));
        QCOMPARE(rs->Value(1).toString(), u"Re: it's 'ok' | fine"_s);
        QCOMPARE(rs->Value(2).toDateTime(), QDateTime(QDate(2024, 1, 2), QTime(3, 4)));
        QCOMPARE(rs->Value(3).toString(), u"a|b'c"_s);
        QCOMPARE(rs->Value(u"件数"_s).toInt(), 1);
        QCOMPARE(rs->FieldTypeOf(0), FieldType::Boolean);
        QCOMPARE(rs->FieldTypeOf(4), std::nullopt);
        // The stock tool sees plain values: 1 for True, the date as text.
        m_db.reset();
        QCOMPARE(sqlite3Tool(path(u"log.mdb"_s), u"SELECT Read, PostDate FROM Message WHERE BBS_ID = 1"_s),
                 u"1|2024-01-02 03:04:00"_s);
        // Texts that look like numbers stay texts.
        QCOMPARE(sqlite3Tool(path(u"log.mdb"_s), u"SELECT typeof(Subject), Subject, typeof(Body), Body FROM Message WHERE BBS_ID = 2"_s),
                 u"text|1e5|text|0123"_s);
    }

    void recordsetCursor()
    {
        for (int i = 1; i <= 3; ++i)
            QVERIFY(m_db->Execute(insertMessage(1, i, u"s"_s)));
        auto rs = m_db->OpenRecordset(u"SELECT ID FROM Message ORDER BY ID"_s);
        QVERIFY(rs);
        QList<int> ids;
        for (; !rs->IsEOF(); rs->MoveNext())
            ids.append(rs->Value(0).toInt());
        QCOMPARE(ids, (QList<int>{1, 2, 3}));
        rs->MoveLast();
        QCOMPARE(rs->AbsolutePosition(), 2);
        QCOMPARE(rs->Value(5, 0), QVariant());
        auto empty = m_db->OpenRecordset(u"SELECT ID FROM Message WHERE ID < 0"_s);
        QVERIFY(empty && empty->IsEOF() && empty->RecordCount() == 0);
    }

    void dialectEndToEnd()
    {
        const QStringList subjects{u"ＡＢＣ掲示板"_s, u"abc"_s, u"a*b"_s, u"x1y"_s, u"[tag]"_s};
        for (int i = 0; i < subjects.size(); ++i)
            QVERIFY(m_db->Execute(insertMessage(1, i + 1, subjects.at(i))));
        auto count = [this](const QString &where) {
            const auto rs = m_db->OpenRecordset(u"SELECT Count(*) FROM Message WHERE "_s + where);
            return rs ? rs->Value(0).toInt() : -1;
        };
        QCOMPARE(count(u"Subject Like 'ａｂｃ*'"_s), 1);
        QCOMPARE(count(u"Subject Like '*B*'"_s), 2); // full-width and half-width letters differ
        QCOMPARE(count(u"Subject Like 'a[*]b'"_s), 1);
        QCOMPARE(count(u"Subject Like '?#?'"_s), 1);
        QCOMPARE(count(u"Subject Like '[[]*'"_s), 1);
        QCOMPARE(count(u"Subject Not Like '[!a]*'"_s), 2);
        QCOMPARE(count(u"Subject Like \"*掲示*\""_s), 1);
        QCOMPARE(count(u"PostDate = #2024/01/02 03:04#"_s), 5);
        QCOMPARE(count(u"PostDate > #2024/01/02 03:04:01#"_s), 0);
        QCOMPARE(count(u"Read = False AND Subject & '!' = 'abc!'"_s), 1);
        QCOMPARE(count(u"Len(Subject) = 3 AND UCase(Left(Subject, 1)) = 'A'"_s), 2);
        QCOMPARE(count(u"InStr(Subject, 'B') = 2 AND Mid(Subject, 2, 1) = 'b'"_s), 1);
        QCOMPARE(count(u"Year(PostDate) = 2024 AND Month(PostDate) = 1 AND Day(PostDate) = 2"_s), 5);
        QCOMPARE(count(u"Nz(Null, 'x') = 'x' AND IIf(ID > 4, True, False)"_s), 1);
        QCOMPARE(count(u"Len(Now()) = 19 AND Date() <= Now() AND Now() Like '####-##-## ##:##:##'"_s), 5);

        auto top = m_db->OpenRecordset(
            u"SELECT * FROM Message WHERE ID IN (SELECT TOP 2 ID FROM Message ORDER BY ID DESC) ORDER BY ID"_s);
        QVERIFY(top);
        QCOMPARE(top->RecordCount(), 2);
        QCOMPARE(top->Value(0, 1).toInt(), 4);
        auto percent = m_db->OpenRecordset(u"SELECT TOP 50 PERCENT ID FROM Message ORDER BY ID"_s);
        QVERIFY(percent);
        QCOMPARE(percent->RecordCount(), 3); // half of five, rounded up
        auto unionTop = m_db->OpenRecordset(u"SELECT TOP 1 ID FROM Message UNION SELECT 99"_s);
        QVERIFY(unionTop);
        QCOMPARE(unionTop->RecordCount(), 2);

        QVERIFY(m_db->Execute(u"SELECT ID, Subject INTO Copy FROM Message WHERE ID > 2"_s));
        QCOMPARE(m_db->RecordsAffected(), 3);
        QVERIFY(m_db->Execute(u"DELETE * FROM Copy WHERE Subject Like '*a*'"_s));
        QCOMPARE(m_db->RecordsAffected(), 2);
    }

    void programStatements()
    {
        TableDef version{u"Version"_s, {{u"Table"_s, FieldType::Text, 255, true, {}}, {u"Version"_s, FieldType::Text, 8, true, {}}}, {}};
        QVERIFY(m_db->CreateTable(version));
        QVERIFY(m_db->Execute(u"INSERT INTO Version VALUES('BBS', 'Ver.0.61')"_s));
        QVERIFY(m_db->Execute(u"INSERT INTO Version(Table, Version) VALUES('Message', 'Ver.0.13')"_s));
        auto one = m_db->OpenRecordset(u"SELECT Version AS VER FROM Version WHERE Table = 'Message'"_s);
        QVERIFY2(one, qPrintable(m_db->LastError().description));
        QCOMPARE(one->Value(u"VER"_s).toString(), u"Ver.0.13"_s);
        QCOMPARE(m_db->OpenRecordset(u"SELECT Max(Version) AS VER FROM Version"_s)->Value(0).toString(), u"Ver.0.61"_s);

        for (int i = 1; i <= 6; ++i)
            QVERIFY(m_db->Execute(insertMessage(3, i, u"s"_s)));
        QVERIFY(m_db->Execute(u"UPDATE Message SET RootThread = 1 WHERE BBS_ID = 3 AND ID < 4"_s));
        auto page = m_db->OpenRecordset(u"SELECT TOP 4 *  FROM Message WHERE BBS_ID = 3   AND ID < 6   AND Read = False ORDER BY ID DESC"_s);
        QVERIFY(page);
        QCOMPARE(page->RecordCount(), 4);
        QCOMPARE(page->Value(0, 1).toInt(), 5);
        auto thread = m_db->OpenRecordset(
            u"SELECT * FROM Message WHERE RootThread =  (SELECT RootThread     FROM Message    WHERE BBS_ID = 3     AND ID     = 2  ) AND BBS_ID = 3"_s);
        QVERIFY(thread);
        QCOMPARE(thread->RecordCount(), 3);
        auto latest = m_db->OpenRecordset(u"SELECT * FROM Message WHERE ID = (SELECT Max(ID) FROM Message WHERE BBS_ID = 3)"_s);
        QCOMPARE(latest->Value(0, 1).toInt(), 6);
    }

    void crosstab()
    {
        for (int i = 1; i <= 5; ++i)
            QVERIFY(m_db->Execute(insertMessage(i % 2 + 1, i, i == 5 ? u"x"_s : u"s"_s)));
        QVERIFY(m_db->Execute(u"UPDATE Message SET Read = True WHERE ID > 3"_s));
        auto rs = m_db->OpenRecordset(
            u"TRANSFORM Count(*) SELECT BBS_ID FROM Message WHERE ID > 1 GROUP BY BBS_ID ORDER BY BBS_ID PIVOT Read"_s);
        QVERIFY2(rs, qPrintable(m_db->LastError().description));
        QCOMPARE(rs->FieldNames(), (QStringList{u"BBS_ID"_s, u"False"_s, u"True"_s}));
        QCOMPARE(rs->RecordCount(), 2);
        QCOMPARE(rs->Value(0, 0).toInt(), 1); // board 1: messages 2, 4
        QCOMPARE(rs->Value(0, 1).toInt(), 1);
        QCOMPARE(rs->Value(0, 2).toInt(), 1);
        QCOMPARE(rs->Value(1, 1).toInt(), 1); // board 2: messages 3, 5
        QCOMPARE(rs->Value(1, 2).toInt(), 1);
        auto listed = m_db->OpenRecordset(
            u"TRANSFORM Max(ID) SELECT BBS_ID FROM Message GROUP BY BBS_ID PIVOT Subject IN ('x', \"none\", Null);"_s);
        QVERIFY2(listed, qPrintable(m_db->LastError().description));
        QCOMPARE(listed->FieldNames(), (QStringList{u"BBS_ID"_s, u"x"_s, u"none"_s, u"<>"_s}));
        QCOMPARE(listed->Value(1, 1).toInt(), 5);
        QVERIFY(!listed->Value(0, 2).isValid());
        QVERIFY(!m_db->OpenRecordset(u"TRANSFORM Count(*) SELECT BBS_ID FROM Message PIVOT Read"_s));
    }

    void parameters()
    {
        for (int i = 1; i <= 4; ++i)
            QVERIFY(m_db->Execute(insertMessage(i % 2, i, u"s"_s)));
        const QString sql = u"SELECT ID FROM Message WHERE BBS_ID = [Board number] AND ID >= MinID ORDER BY ID"_s;
        const QList<JetSql::Parameter> params = m_db->Parameters(sql);
        QCOMPARE(params.size(), 2);
        QCOMPARE(params.at(0).name, u"Board number"_s);
        QCOMPARE(params.at(1).name, u"MinID"_s);
        QVERIFY(!m_db->OpenRecordset(sql));
        QCOMPARE(m_db->LastError().number, 3061);
        auto rs = m_db->OpenRecordset(sql, {u"1"_s, 2});
        QVERIFY(rs);
        QCOMPARE(rs->RecordCount(), 1);
        QCOMPARE(rs->Value(0).toInt(), 3);

        const QString declared = u"PARAMETERS Since DateTime, Flag YesNo; UPDATE Message SET Read = Flag WHERE PostDate >= Since"_s;
        QCOMPARE(m_db->Parameters(declared).size(), 2);
        QVERIFY(m_db->Execute(declared, {u"2024/01/01"_s, u"True"_s}));
        QCOMPARE(m_db->RecordsAffected(), 4);
        QVERIFY(m_db->Parameters(u"SELECT * FROM Message"_s).isEmpty());
        QVERIFY(m_db->Parameters(u"SELECT * FROM Message.x"_s).isEmpty());
        QVERIFY(m_db->LastError());
    }

    void preparedStatements()
    {
        const QString sql = u"INSERT INTO Message(BBS_ID, ID, Read, Subject, PostDate, Body, RootThread) VALUES(?1, ?2, ?3, ?4, ?5, ?6, 0)"_s;
        {
            Transaction transaction(*m_db);
            for (int i = 1; i <= 500; ++i) {
                Statement insert = m_db->Prepare(sql);
                QVERIFY(insert.IsValid());
                insert.Bind(1, 7);
                insert.Bind(2, i);
                insert.Bind(3, i % 2 == 0);
                insert.Bind(4, u"件名 %1"_s.arg(i));
                insert.Bind(5, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
                insert.Bind(6, u"本文"_s);
                QVERIFY(insert.Execute());
                QCOMPARE(m_db->RecordsAffected(), 1);
            }
            QVERIFY(transaction.Commit());
        }
        Statement again = m_db->Prepare(sql);
        for (const auto &[column, value] : {std::pair{1, QVariant(7)}, {2, QVariant(1)}, {3, QVariant(true)},
                                            {4, QVariant(u"x"_s)}, {5, QVariant()}, {6, QVariant(u"b"_s)}})
            again.Bind(column, value);
        QVERIFY(!again.Execute());
        QCOMPARE(m_db->LastError().number, 3022);

        Statement select = m_db->Prepare(u"SELECT Read, PostDate FROM Message WHERE BBS_ID = ?1 AND ID = ?2"_s);
        select.Bind(1, 7);
        select.Bind(2, 4);
        QVERIFY(select.Next());
        QCOMPARE(select.Value(0), QVariant(true));
        QCOMPARE(select.Value(1).toDateTime(), QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
        QVERIFY(!select.Next());
        QVERIFY(!m_db->LastError());
        QVERIFY(!m_db->Prepare(u"SELECT * FROM Missing"_s).IsValid());
        QCOMPARE(m_db->LastError().number, 3078);

        // A statement kept past the end of its database does nothing.
        Statement kept = m_db->Prepare(u"SELECT ID FROM Message"_s);
        QVERIFY(kept.Next());
        m_db.reset();
        QVERIFY(!kept.IsValid());
        QVERIFY(!kept.Next());
        QVERIFY(!kept.Execute());
    }

    void transactions()
    {
        {
            Transaction transaction(*m_db);
            QVERIFY(transaction.IsActive());
            QVERIFY(m_db->Execute(insertMessage(1, 1, u"kept?"_s)));
        }
        QCOMPARE(m_db->OpenRecordset(u"SELECT * FROM Message"_s)->RecordCount(), 0);
        QVERIFY(!m_db->InTransaction());
        {
            Transaction outer(*m_db);
            QVERIFY(m_db->Execute(insertMessage(1, 1, u"outer"_s)));
            {
                Transaction inner(*m_db);
                QVERIFY(m_db->Execute(insertMessage(1, 2, u"inner"_s)));
                QVERIFY(!m_db->Execute(insertMessage(1, 1, u"dup"_s)));
            }
            QCOMPARE(m_db->LastError().number, 3022); // the rollback keeps the cause
            QVERIFY(outer.Commit());
        }
        auto rs = m_db->OpenRecordset(u"SELECT Subject FROM Message"_s);
        QCOMPARE(rs->RecordCount(), 1);
        QCOMPARE(rs->Value(0).toString(), u"outer"_s);
    }

    void tablesAndFields()
    {
        QVERIFY(m_db->CreateQueryDef(u"q"_s, u"SELECT * FROM Message"_s));
        const QList<TableInfo> tables = m_db->TableDefs();
        QCOMPARE(tables.size(), 2);
        QCOMPARE(tables.at(0).name, u"Message"_s);
        QCOMPARE(tables.at(0).attributes, 0);
        QVERIFY(tables.at(1).attributes != 0);

        const auto fields = m_db->Fields(u"message"_s);
        QVERIFY(fields);
        QCOMPARE(fields->size(), 7);
        QCOMPARE(FieldTypeName(fields->at(0).type), u"Long"_s);
        QCOMPARE(fields->at(0).description, u"掲示板番号"_s);
        QCOMPARE(FieldTypeName(fields->at(2).type), u"Boolean"_s);
        QCOMPARE(FieldTypeName(fields->at(3).type), u"Text"_s);
        QCOMPARE(fields->at(3).size, 255);
        QVERIFY(fields->at(3).allowZeroLength);
        QCOMPARE(FieldTypeName(fields->at(4).type), u"Date"_s);
        QCOMPARE(FieldTypeName(fields->at(5).type), u"Memo"_s);
        QCOMPARE(fields->at(5).description, u"本文 * / with a comment end"_s);
        QVERIFY(!fields->at(5).allowZeroLength);
        QVERIFY(!m_db->Fields(u"Missing"_s));
        QCOMPARE(m_db->LastError().number, 3265);

        // A table made by hand reads with the closest types.
        QVERIFY(m_db->Execute(u"CREATE TABLE Hand (a LONG, b YESNO, c TEXT(20), d DATETIME, e MEMO, f DOUBLE, g)"_s));
        const auto hand = m_db->Fields(u"Hand"_s);
        QVERIFY2(hand, qPrintable(m_db->LastError().description));
        QStringList types;
        for (const FieldDef &f : *hand)
            types.append(FieldTypeName(f.type));
        QCOMPARE(types, (QStringList{u"Long"_s, u"Boolean"_s, u"Text"_s, u"Date"_s, u"Memo"_s, u"Double"_s, u"Variant"_s}));
    }

    void renameAndRecreate()
    {
        QVERIFY(m_db->Execute(insertMessage(1, 1, u"old"_s)));
        QVERIFY(m_db->RenameTable(u"Message"_s, u"Message_BACK"_s));
        QVERIFY(m_db->CreateTable(messageTable())); // index names are free again
        QVERIFY(m_db->Execute(u"INSERT INTO Message SELECT * FROM Message_BACK"_s));
        QVERIFY(!m_db->Execute(u"INSERT INTO Message_BACK SELECT * FROM Message"_s));
        QCOMPARE(m_db->LastError().number, 3022); // the renamed table kept its key
        QVERIFY(m_db->DeleteTable(u"Message_BACK"_s));
        QVERIFY(!m_db->DeleteTable(u"Message_BACK"_s));
        QCOMPARE(m_db->LastError().number, 3265);
        QVERIFY(!m_db->RenameTable(u"Missing"_s, u"X"_s));
        QCOMPARE(m_db->LastError().number, 3265);
        QCOMPARE(sqlite3Tool(path(u"log.mdb"_s), u"SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"_s),
                 u"Message_IDX1"_s);
    }

    void storedQueries()
    {
        const QString sql = u"SELECT *\n  FROM Message\n WHERE Subject Like '*|*';"_s;
        QVERIFY(m_db->QueryDefNames().isEmpty());
        QVERIFY(m_db->CreateQueryDef(u"未読"_s, sql));
        QVERIFY(m_db->CreateQueryDef(u"b"_s, u"DELETE FROM Message"_s));
        QVERIFY(m_db->CreateQueryDef(u"A"_s, u"CREATE TABLE X (a LONG)"_s));
        QVERIFY(!m_db->CreateQueryDef(u"B"_s, u"SELECT 1"_s));
        QCOMPARE(m_db->LastError().number, 3012);
        QVERIFY(!m_db->CreateQueryDef(u"Message"_s, u"SELECT 1"_s));
        QCOMPARE(m_db->LastError().number, 3012);
        QVERIFY(!m_db->CreateQueryDef(u"bad"_s, u"SELEC 1"_s));
        QVERIFY(m_db->LastError());
        QVERIFY(!m_db->CreateQueryDef(QString(), u"SELECT 1"_s));
        QCOMPARE(m_db->LastError().number, 3125);
        QCOMPARE(m_db->QueryDefNames(), (QStringList{u"A"_s, u"b"_s, u"未読"_s}));
        QCOMPARE(m_db->QueryDefSQL(u"未読"_s), sql);
        QVERIFY(m_db->DeleteQueryDef(u"B"_s));
        QVERIFY(!m_db->DeleteQueryDef(u"b"_s));
        QCOMPARE(m_db->LastError().number, 3265);
        QVERIFY(!m_db->QueryDefSQL(u"b"_s));
        QCOMPARE(m_db->QueryDefNames().size(), 2);
    }

    void compaction()
    {
        Transaction transaction(*m_db);
        for (int i = 1; i <= 300; ++i)
            QVERIFY(m_db->Execute(insertMessage(1, i, u"件名"_s, QString(1000, u'本'))));
        QVERIFY(transaction.Commit());
        QVERIFY(m_db->Execute(u"DELETE FROM Message WHERE ID > 10"_s));
        QCOMPARE(m_db->RecordsAffected(), 290);
        // The stock tool reads the file while the program has it open.
        QCOMPARE(sqlite3Tool(path(u"log.mdb"_s), u"SELECT count(*) FROM Message"_s), u"10"_s);
        QVERIFY(m_db->Compact(path(u"small.mdb"_s)));
        QVERIFY(!m_db->Compact(path(u"small.mdb"_s)));
        QCOMPARE(m_db->LastError().number, 3204);
        QVERIFY(QFileInfo(path(u"small.mdb"_s)).size() < QFileInfo(path(u"log.mdb"_s)).size());
        QCOMPARE(sqlite3Tool(path(u"small.mdb"_s), u"PRAGMA integrity_check"_s), u"ok"_s);
        QCOMPARE(sqlite3Tool(path(u"small.mdb"_s), u"SELECT Subject, count(*) FROM Message"_s), u"件名|10"_s);
        m_db.reset();
        DbError error;
        QVERIFY(Database::CompactDatabase(path(u"log.mdb"_s), path(u"again.mdb"_s), &error));
        QVERIFY(!Database::CompactDatabase(path(u"missing.mdb"_s), path(u"x.mdb"_s), &error));
        QCOMPARE(error.number, 3024);
        QVERIFY(!QFileInfo::exists(path(u"x.mdb"_s)));
        m_db = Database::Open(path(u"again.mdb"_s));
        QVERIFY(m_db);
        QCOMPARE(m_db->OpenRecordset(u"SELECT * FROM Message"_s)->RecordCount(), 10);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
