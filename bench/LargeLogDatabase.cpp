#include "LargeLogDatabase.h"

#include "LogGenerator.h"
#include "db/TextIndex.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"

#include <QFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

bool insertBoard(Database &db, int boardId, int count)
{
    const LogGenerator generator{quint32(boardId)};
    QList<int> root(count + 1);
    Transaction transaction(db);
    Statement insert = db.Prepare(
        u"INSERT INTO Message VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, 0)"_s);
    for (int number = 1; number <= count && insert.IsValid(); ++number) {
        const BoardMessage m = generator.message(number);
        const bool reply = m.replyTo > 0 && m.replyTo < number;
        root[number] = reply ? root[m.replyTo] : number;
        const QVariant values[] = {boardId, number, number % 2 == 0, m.subject, m.homePage, m.mail,
                                   m.name, m.date, reply ? m.replyTo : 0, m.body, root[number]};
        for (int i = 0; i < 11; ++i)
            insert.Bind(i + 1, values[i]);
        if (!insert.Execute())
            return false;
        insert.Reset();
    }
    return insert.IsValid() && transaction.Commit();
}

} // namespace

QString LargeLogDatabase(const QString &folder, int messages, const char *benchName)
{
    QTextStream err(stderr);
    const QString path = folder + u"/log.mdb"_s;
    if (QFile::exists(path))
        return path;
    const QString building = folder + u"/building.mdb"_s;
    QFile::remove(building);
    err << benchName << ": building " << path << " (once)" << Qt::endl;
    {
        std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(building);
        if (!db)
            return {};
        const QList<mdlDatabase::DefaultBoard> &boards = mdlDatabase::DefaultBoards();
        for (const mdlDatabase::DefaultBoard &board : boards) {
            if (!insertBoard(*db, board.BBS_ID, messages / int(boards.size()))) {
                err << benchName << ": " << db->LastError().description << Qt::endl;
                return {};
            }
        }
        // Indexed as a window would have done it by now: no bench meets the batches on its way.
        if (!TextIndex::Create(*db)) {
            err << benchName << ": " << db->LastError().description << Qt::endl;
            return {};
        }
    }
    return QFile::rename(building, path) ? path : QString();
}
