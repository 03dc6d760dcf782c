#pragma once

#include "db/Database.h"
#include "db/mdlDatabase.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

/**
 * @short A new log database in a temporary folder: the sixteen default boards 3 to 18, all
 * listed (ListOrder 0 to 17 with gaps) and visited, and no messages.
 */
struct NewLogDatabase
{
    QTemporaryDir dir;
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(QStringLiteral("log.mdb")));

    /** Runs @p statement; a failure fails the calling test. */
    void sql(const QString &statement) { QVERIFY2(db->Execute(statement), qPrintable(statement)); }

    /** The first value of @p select; an invalid QVariant when there is no row. */
    QVariant value(const QString &select)
    {
        const std::optional<Recordset> rs = db->OpenRecordset(select);
        return rs && !rs->IsEOF() ? rs->Value(0) : QVariant();
    }

    /** Stores message @p id of board @p board with the read state @p read and mark @p mark. */
    void message(int board, int id, bool read = false, int mark = 0)
    {
        sql(QStringLiteral("INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (%1, %2, %3, 'x', %4)")
                .arg(board).arg(id).arg(read ? u"True" : u"False").arg(mark));
    }
};
