#pragma once

#include "db/Database.h"
#include "db/QueryCursor.h"
#include "db/mdlDatabase.h"
#include "support/LogFormat.h"
#include "transfer/CBBS.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

/** @short A new log database in a temporary folder with a CBBS working on it. */
struct CBBSFixture
{
    static constexpr int SingleBoard = 4; // default boards of each type
    static constexpr int LeftBoard = 13;
    static constexpr int RightBoard = 14;
    static constexpr int TextPageBoard = 3;

    QTemporaryDir dir;
    std::unique_ptr<Database> db;
    CBBS bbs;

    CBBSFixture() : db(mdlDatabase::CreateLogDatabase(path())) { bbs.Initialize(db.get()); }

    QString path() const { return dir.filePath(QStringLiteral("log.mdb")); }

    /** Imports @p file into @p board and waits for the end; ImportFinished's Clean, false when none came. */
    bool import(int board, const QString &file, bool read = false)
    {
        QSignalSpy finished(&bbs, &CBBS::ImportFinished);
        return bbs.ImportLog(board, file, read) && finished.wait(60000) && finished.first().first().toBool();
    }

    /** The stored messages of @p board in ascending ID order. */
    QList<CMessage> stored(int board)
    {
        QList<CMessage> messages;
        QueryCursor cursor(db.get());
        cursor.ExecSQL(QStringLiteral("SELECT * FROM Message WHERE BBS_ID = %1 ORDER BY ID").arg(board));
        for (int i = 0; i < cursor.count(); ++i)
            messages.append(*cursor.Messages(i));
        return messages;
    }

    /** Stores plain sample messages (number, reply) on @p board through SaveMessage. */
    void save(int board, const QList<std::pair<int, int>> &numbersAndReplies)
    {
        for (const auto &[number, reply] : numbersAndReplies) {
            const CMessage msg{board, number, {}, {}, {}, {}, CMessage::WallClock(QDate(2024, 1, 1), QTime(12, 0)),
                               reply, QStringLiteral("本文"), 0, 0, false};
            QCOMPARE(bbs.SaveMessage(msg), CBBS::Saved);
        }
    }
};
