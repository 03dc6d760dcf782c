#pragma once

#include "app/OneShotTimer.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "viewer/models/MessageLists.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

/**
 * @short A new log database, both message lists over it with a hand-driven read timer, and
 * records of the board-count and "Count" callbacks and of every UPDATE that reaches the
 * Read or Mark column (a trigger writes them to table UpdateLog).
 */
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
        const bool logged = db && db->Execute(QStringLiteral("CREATE TABLE UpdateLog (Kind TEXT(10))"))
            && db->Execute(QStringLiteral("CREATE TRIGGER LogRead AFTER UPDATE OF Read ON Message "
                                          "BEGIN INSERT INTO UpdateLog VALUES('read'); END"))
            && db->Execute(QStringLiteral("CREATE TRIGGER LogMark AFTER UPDATE OF Mark ON Message "
                                          "BEGIN INSERT INTO UpdateLog VALUES('mark'); END"));
        if (!logged)
            qFatal("test database not made: %s", qPrintable(db ? db->LastError().description : QString()));
    }

    static CMessage message(int board, int id, bool read, int mark = 0)
    {
        CMessage m;
        m.BBS_ID = board;
        m.ID = id;
        m.Read = read;
        m.Mark = mark;
        m.Subject = QStringLiteral("題名");
        m.Body = QStringLiteral("本文");
        m.PostDate = CMessage::WallClock(QDate(2024, 1, 2), QTime(3, 4));
        return m;
    }

    /** Stores @p m in table Message. */
    void store(const CMessage &m)
    {
        const QString sql = QStringLiteral(
            "INSERT INTO Message (BBS_ID, ID, Read, Subject, Homepage, Mail, PostName, PostDate, InReplyTo, "
            "Body, RootThread, Mark) VALUES (%1, %2, %3, '題名', '', '', '名前', #2024/01/02 03:04#, 0, '本文', %2, %4)");
        QVERIFY2(db->Execute(sql.arg(m.BBS_ID).arg(m.ID).arg(m.Read ? u"True" : u"False").arg(m.Mark)),
                 qPrintable(db->LastError().description));
    }

    /** Stores @p m and lists it in list @p index. */
    void add(int index, const CMessage &m)
    {
        store(m);
        QVERIFY(lists.AddMessageItem(index, m));
    }

    /** A stored column of one message, or an invalid QVariant when it is not stored. */
    QVariant stored(int board, int id, const QString &column)
    {
        const auto rs = db->OpenRecordset(
            QStringLiteral("SELECT %1 FROM Message WHERE BBS_ID = %2 AND ID = %3").arg(column).arg(board).arg(id));
        return rs && !rs->IsEOF() ? rs->Value(0) : QVariant();
    }

    /** The UPDATEs logged so far ("read", "mark"), then an empty log. */
    QStringList takeUpdates()
    {
        QStringList kinds;
        if (const auto rs = db->OpenRecordset(QStringLiteral("SELECT Kind FROM UpdateLog"))) {
            for (int row = 0; row < rs->RecordCount(); ++row)
                kinds.append(rs->Value(row, 0).toString());
        }
        db->Execute(QStringLiteral("DELETE FROM UpdateLog"));
        return kinds;
    }

    /** Selects @p rows of list @p index (and nothing else), the first of them current. */
    void select(int index, const QList<int> &rows)
    {
        MessageListModel &list = lists.lsvMsgList(index);
        list.SelectRow(rows.isEmpty() ? -1 : rows.first());
        for (int row : rows)
            list.selectionModel()->select(list.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};
