#pragma once

#include "db/CBBSProperty.h"
#include "db/CookieStore.h"
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
    /** Simulator board of each default board. */
    QHash<int, int> simBoard;
    /** Every StateChanged text: (text, ShowStatus, AddLog). */
    QList<std::tuple<QString, bool, bool>> states;

    LoadFixture()
    {
        setCookieStore(&store);
        QVERIFY(sim.listen());
        place(SingleBoard, 0, QStringLiteral("/cgi-bin/single.cgi"));
        place(LeftBoard, 1, QStringLiteral("/cgi-bin/pair.cgi"));
        place(RightBoard, 2, QStringLiteral("/cgi-bin/pair.cgi"));
        place(TextPageBoard, 3, QStringLiteral("/cgi-bin/text.cgi"));
        // A type-3 board keeps its settings only in a cookie the board wrote first.
        QVERIFY(CBBSProperty::WriteBoardCookie(
            board(TextPageBoard).URL(), QStringLiteral("nandemo"),
            QStringLiteral("ck_name%3D%26ck_text%3D30%26ck_unread_point%3D0")));
        QObject::connect(&bbs, &CBBS::StateChanged, [this](const QString &t, bool s, bool l) {
            states.append({t, s, l});
        });
    }
    ~LoadFixture() { setCookieStore(nullptr); }

    /** Points default board @p id at a simulator board of @p type at @p script. */
    void place(int id, int type, const QString &script)
    {
        const int index = sim.addBoard(type, script, QStringLiteral("nandemo"));
        simBoard.insert(id, index);
        setUrl(id, sim.url(index));
    }
    void setUrl(int id, const QString &url)
    {
        QVERIFY(db->Execute(QStringLiteral("UPDATE BBS SET URL = '%1' WHERE BBS_ID = %2").arg(url).arg(id)));
    }
    void setMaxCount(int id, int maxCount)
    {
        QVERIFY(db->Execute(QStringLiteral("UPDATE BBS SET MaxCount = %1 WHERE BBS_ID = %2").arg(maxCount).arg(id)));
    }
    CBBSProperty board(int id)
    {
        CBBSProperty p;
        p.GetProperty(id, *db);
        return p;
    }
    void addMessages(int id, int first, int last) { sim.addSampleMessages(simBoard.value(id), first, last); }

    /** The request targets (path and query) the simulator got, in order. */
    QStringList targets() const
    {
        QStringList list;
        for (const BoardSimulator::Request &r : sim.requests())
            list << QString::fromLatin1(r.target);
        return list;
    }
    /** The texts raised for the status bar and the log (the errors). */
    QStringList errors() const
    {
        QStringList list;
        for (const auto &[text, status, log] : states) {
            if (status && log)
                list << text;
        }
        return list;
    }
    QStringList texts() const
    {
        QStringList list;
        for (const auto &state : states)
            list << std::get<0>(state);
        return list;
    }
};
