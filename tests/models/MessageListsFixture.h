#pragma once

#include "app/OneShotTimer.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "models/MessageLists.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

/** A new log database and both message lists over it with a hand-driven read timer; records the board-count
 *  and "Count" callbacks and, through triggers, every UPDATE of the Read or Mark column. */
struct MessageListsFixture
{
    QTemporaryDir dir;
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(QStringLiteral("log.mdb")));
    ManualOneShotTimer timer;
    MessageLists lists{db.get(), &timer};
    QList<std::pair<int, int>> boardDeltas;
    QStringList counts;

    MessageListsFixture()
    {
        lists.UpdateBBSMenuCaption = [this](int board, int delta) { boardDeltas.append({board, delta}); };
        lists.ShowCount = [this](const QString &text) { counts.append(text); };
        const QString trigger = QStringLiteral("CREATE TRIGGER Log%1 AFTER UPDATE OF %1 ON Message "
                                               "BEGIN INSERT INTO UpdateLog VALUES('%1'); END");
        if (!db || !db->Execute(QStringLiteral("CREATE TABLE UpdateLog (Kind TEXT(10))"))
            || !db->Execute(trigger.arg(u"Read")) || !db->Execute(trigger.arg(u"Mark")))
            qFatal("no test database");
    }

    static CMessage message(int board, int id, bool read, int mark = 0)
    {
        CMessage m;
        std::tie(m.BBS_ID, m.ID, m.Read, m.Mark) = std::tuple(board, id, read, mark);
        m.Body = QStringLiteral("本文");
        return m;
    }

    void store(const CMessage &m)
    {
        const QString sql = QStringLiteral("INSERT INTO Message (BBS_ID, ID, Read, Body, Mark) VALUES (%1, %2, %3, '本文', %4)");
        QVERIFY(db->Execute(sql.arg(m.BBS_ID).arg(m.ID).arg(m.Read ? u"True" : u"False").arg(m.Mark)));
    }

    void add(int index, const CMessage &m)
    {
        store(m);
        QVERIFY(lists.AddMessageItem(index, m));
    }

    QVariant stored(int board, int id, const QString &column)
    {
        const auto rs = db->OpenRecordset(QStringLiteral("SELECT %1 FROM Message WHERE BBS_ID = %2 AND ID = %3").arg(column).arg(board).arg(id));
        return rs && !rs->IsEOF() ? rs->Value(0) : QVariant();
    }

    /** The columns updated since the last call ("Read", "Mark"), one entry per row updated. */
    QStringList takeUpdates()
    {
        QStringList kinds;
        if (const auto rs = db->OpenRecordset(QStringLiteral("SELECT Kind FROM UpdateLog")))
            for (int row = 0; row < rs->RecordCount(); ++row)
                kinds.append(rs->Value(row, 0).toString());
        if (!db->Execute(QStringLiteral("DELETE FROM UpdateLog")))
            qFatal("the update log cannot be emptied");
        return kinds;
    }

    void select(int index, const QList<int> &rows)
    {
        MessageListModel &list = lists.lsvMsgList(index);
        list.selectionModel()->clear();
        for (int row : rows)
            list.selectionModel()->select(list.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};
