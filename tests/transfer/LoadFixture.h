#pragma once

#include "db/CBBSProperty.h"
#include "cookies/CookieStore.h"
#include "support/BoardSimulator.h"
#include "transfer/CBBSFixture.h"

#include <QStringList>

/**
 * @short CBBSFixture with its own cookie store and a board simulator serving the default boards
 * 4 (type 0), 13 and 14 (types 1 and 2 on one script) and 3 (type 3).
 */
struct LoadFixture : CBBSFixture
{
    CookieStore store{dir.filePath(QStringLiteral("cookies.txt"))};
    BoardSimulator sim;
    QHash<int, int> simBoard; // simulator board of each default board
    QStringList texts;        // every StateChanged text
    QStringList errors;       // those for the status bar and the log

    LoadFixture()
    {
        setCookieStore(&store);
        QVERIFY(sim.listen());
        place(SingleBoard, 0, QStringLiteral("/cgi-bin/single.cgi"));
        place(LeftBoard, 1, QStringLiteral("/cgi-bin/pair.cgi"));
        place(RightBoard, 2, QStringLiteral("/cgi-bin/pair.cgi"));
        place(TextPageBoard, 3, QStringLiteral("/cgi-bin/text.cgi"));
        // A type-3 board keeps its settings only in a cookie the board wrote first.
        QVERIFY(CBBSProperty::WriteBoardCookie(board(TextPageBoard).URL(), QStringLiteral("nandemo"),
                                               QStringLiteral("ck_text%3D30%26ck_unread_point%3D0")));
        QObject::connect(&bbs, &CBBS::StateChanged, [this](const QString &text, bool status, bool log) {
            texts << text;
            if (status && log)
                errors << text;
        });
    }
    ~LoadFixture() { setCookieStore(nullptr); }

    /** Points default board @p id at a new simulator board of @p type at @p script. */
    void place(int id, int type, const QString &script)
    {
        simBoard.insert(id, sim.addBoard(type, script, QStringLiteral("nandemo")));
        setColumn(id, QStringLiteral("URL"), u'\'' + sim.url(simBoard.value(id)) + u'\'');
    }
    void setColumn(int id, const QString &column, const QString &value)
    {
        QVERIFY(db->Execute(QStringLiteral("UPDATE BBS SET %1 = %2 WHERE BBS_ID = %3").arg(column, value).arg(id)));
    }
    CBBSProperty board(int id)
    {
        CBBSProperty p;
        p.GetProperty(id, *db);
        return p;
    }
    /** Loads board @p id and waits for the end; LoadFinished's result, false when none came. */
    bool load(int id, bool unreadOnly, bool exitIfFound = false)
    {
        QSignalSpy finished(&bbs, &CBBS::LoadFinished);
        return bbs.LoadBBS(id, unreadOnly, exitIfFound) && finished.wait(60000) && finished.first().first().toBool();
    }
    void addMessages(int id, int first, int last) { sim.addSampleMessages(simBoard.value(id), first, last); }
    /** Stores the simulator's messages @p first .. @p last of board @p id as if received. */
    void storeMessages(int id, int first, int last)
    {
        const QList<BoardMessage> all = sim.messages(simBoard.value(id));
        QVERIFY(bbs.AnalyseLog(id, LogFormat::log(0, all.mid(first - 1, last - first + 1)), false));
    }
    /** The request targets (path and query) the simulator got, in order. */
    QStringList targets() const
    {
        QStringList list;
        for (const BoardSimulator::Request &r : sim.requests())
            list << QString::fromLatin1(r.target);
        return list;
    }
};
