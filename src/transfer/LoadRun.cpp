#include "transfer/LoadRun.h"

#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/CBBS.h"

using namespace Qt::StringLiterals;

namespace {

const QString VisitSql = u"SELECT BBS_ID  FROM BBS WHERE VisitLoad = True ORDER BY ListOrder"_s;
const QString AllBoardsSql = u"SELECT BBS_ID  FROM BBS WHERE ListOrder >= 0 ORDER BY ListOrder"_s;

} // namespace

QString LoadRun::NoBoardsText()
{
    return u"巡回受信対象の掲示板はありませんでした。"_s;
}

QString LoadRun::StartText(const CBBSProperty &board)
{
    return board.BBS_Name() + u"から受信中..."_s;
}

LoadRun::LoadRun(CBBS &bbs, Database &db, QObject *parent)
    : QObject(parent)
    , m_bbs(bbs)
    , m_db(db)
{
}

std::optional<QList<int>> LoadRun::ChooseBoards(Selection selection)
{
    std::optional<Recordset> rs = m_db.OpenRecordset(selection == Selection::Visit ? VisitSql : AllBoardsSql);
    if (!rs) {
        prompter().critical(m_db.LastError().description);
        return std::nullopt;
    }
    QList<int> boards;
    for (; !rs->IsEOF(); rs->MoveNext())
        boards.append(rs->Value(0).toInt());
    return boards;
}

bool LoadRun::Run(Selection selection)
{
    const std::optional<QList<int>> boards = ChooseBoards(selection);
    if (!boards)
        return false;
    if (boards->isEmpty()) {
        prompter().information(NoBoardsText());
        return false;
    }
    Run(*boards, true);
    return true;
}

QList<LoadRun::Outcome> LoadRun::Run(const QList<int> &boards, bool NoReadLoad)
{
    m_outcomes.clear();
    m_stop = false;
    m_abandoned = false;
    m_bbs.SetTimeout(mdlOption::Timeout);
    m_bbs.InitCancel();
    const bool exitIfFound = mdlOption::ExitIfMessageFound && NoReadLoad;
    for (qsizetype i = 0; i < boards.size() && !m_stop; ++i) {
        CBBSProperty board;
        Outcome outcome;
        if (board.GetProperty(boards.at(i), m_db)) {
            emit BoardStarted(board, i + 1 < boards.size());
            outcome = loadBoard(board, NoReadLoad, exitIfFound);
            if (m_abandoned)
                break;
        } else {
            outcome.BBS_ID = boards.at(i);
            outcome.Text = u"掲示板"_s + QString::number(boards.at(i)) + u"はありません。"_s;
        }
        m_outcomes.append(outcome);
        emit BoardFinished(outcome);
    }
    return m_outcomes;
}

LoadRun::Outcome LoadRun::loadBoard(const CBBSProperty &board, bool NoReadLoad, bool exitIfFound)
{
    QString lastError;
    const QMetaObject::Connection errors = connect(
        &m_bbs, &CBBS::StateChanged, this, [&lastError](const QString &text, bool showStatus, bool addLog) {
            if (showStatus && addLog)
                lastError = text;
        });
    const bool ok = m_bbs.LoadBBS(board.ID(), NoReadLoad, exitIfFound);
    disconnect(errors);

    Outcome outcome;
    outcome.BBS_ID = board.ID();
    outcome.SaveCount = m_bbs.SaveCount();
    if (ok && outcome.SaveCount > 0) {
        outcome.kind = Outcome::Received;
        outcome.Text = board.BBS_Name() + u"で"_s + QString::number(outcome.SaveCount) + u"件受信しました。"_s;
    } else if (ok) {
        outcome.kind = Outcome::NothingNew;
        outcome.Text = board.BBS_Name() + u"に新規投稿はありませんでした。"_s;
    } else if (!m_bbs.IsError()) {
        outcome.kind = Outcome::Cancelled;
        outcome.Text = u"処理は中断されました。"_s;
    } else {
        outcome.kind = Outcome::Failed;
        outcome.Text = board.BBS_Name() + u"から受信できませんでした。"_s;
        outcome.Error = lastError;
    }
    return outcome;
}

bool LoadRun::AnyFailed() const
{
    return std::any_of(m_outcomes.begin(), m_outcomes.end(),
                       [](const Outcome &o) { return o.kind == Outcome::Failed; });
}
