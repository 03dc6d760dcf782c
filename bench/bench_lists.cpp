// bench_lists: the message lists. Stores 5,000 generated messages of one board (every other
// one unread, some marked), then times
//  - list_fill_1000_ms: a board page of 1,000 rows: the query through the query cursor,
//    clearing list 0 and AddMessageItem for every row;
//  - set_read_1000_ms: SetSelectedRead over 1,000 selected unread rows.
// Each figure is the median of several runs, in milliseconds.
#include "BenchFigures.h"
#include "LogGenerator.h"
#include "db/QueryCursor.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"
#include "models/mdlRead.h"
#include "models/MessageLists.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Board = 3;
constexpr int Stored = 5000;
constexpr int Rows = 1000;
constexpr int Runs = 7;

bool store(Database &db)
{
    const LogGenerator generator{7};
    Transaction transaction(db);
    Statement insert = db.Prepare(u"INSERT INTO Message VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"_s);
    for (int number = 1; number <= Stored && insert.IsValid(); ++number) {
        const BoardMessage m = generator.message(number);
        const QVariant values[] = {Board, number, number % 2 == 0, m.subject, m.homePage, m.mail, m.name, m.date,
                                   m.replyTo, m.body, number, number % 7 == 0 ? number % 4 + 1 : 0};
        for (int i = 0; i < 12; ++i)
            insert.Bind(i + 1, values[i]);
        if (!insert.Execute())
            return false;
        insert.Reset();
    }
    return insert.IsValid() && transaction.Commit();
}

/** One board page into list 0, as the window fills it; milliseconds, or -1 on failure. */
double fillOnce(QueryCursor &cursor, MessageLists &lists)
{
    QElapsedTimer timer;
    timer.start();
    if (!cursor.ExecSQL(u"SELECT TOP %1 * FROM Message WHERE BBS_ID = %2 ORDER BY ID DESC"_s.arg(Rows).arg(Board)))
        return -1;
    lists.ClearMessageList(0);
    for (int i = 0; i < cursor.count(); ++i)
        lists.AddMessageItem(0, *cursor.Messages(i));
    const double ms = timer.nsecsElapsed() / 1e6;
    return lists.lsvMsgList(0).rowCount() == Rows ? ms : -1;
}

/** Marks every row of list 0 read, all of them unread before; milliseconds, or -1. */
double setReadOnce(MessageLists &lists)
{
    MessageListModel &list = lists.lsvMsgList(0);
    list.selectionModel()->select(QItemSelection(list.index(0, 0), list.index(list.rowCount() - 1, 0)),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!mdlRead::SetSelectedRead(lists, 0, false))
        return -1;
    QElapsedTimer timer;
    timer.start();
    const bool ok = mdlRead::SetSelectedRead(lists, 0, true);
    const double ms = timer.nsecsElapsed() / 1e6;
    return ok && mdlRead::ListUnreadCount(lists, 0) == 0 ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QTemporaryDir dir;
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(u"log.mdb"_s));
    if (!db || !store(*db)) {
        err << "bench_lists: cannot build the database" << Qt::endl;
        return 1;
    }
    QueryCursor cursor(db.get());
    MessageLists lists(db.get());
    int boardChanges = 0;
    lists.UpdateBBSMenuCaption = [&](int, int delta) { boardChanges += delta; };
    QString count;
    lists.ShowCount = [&](const QString &text) { count = text; };

    QList<double> fill;
    QList<double> setRead;
    for (int run = 0; run < Runs; ++run) {
        fill.append(fillOnce(cursor, lists));
        setRead.append(setReadOnce(lists));
    }
    if (fill.contains(-1) || setRead.contains(-1)) {
        err << "bench_lists: a run failed: " << db->LastError().description << Qt::endl;
        return 1;
    }
    QTextStream out(stdout);
    out << "list_fill_1000_ms: " << QString::number(median(fill), 'f', 2) << Qt::endl;
    out << "set_read_1000_ms: " << QString::number(median(setRead), 'f', 2) << Qt::endl;
    return 0;
}
