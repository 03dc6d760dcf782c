#include "transfer/LoadRun.h"

#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/CBBS.h"

#include <QTimer>

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
    connect(&m_bbs, &CBBS::LoadFinished, this, &LoadRun::boardLoaded);
    connect(&m_bbs, &CBBS::StateChanged, this, [this](const QString &text, bool showStatus, bool addLog) {
        if (m_loading && showStatus && addLog)
            m_lastError = text;
    });
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

bool LoadRun::Start(Selection selection)
{
    const std::optional<QList<int>> boards = ChooseBoards(selection);
    if (!boards)
        return false;
    if (boards->isEmpty()) {
        prompter().information(NoBoardsText());
        return false;
    }
    return Start(*boards, true);
}

bool LoadRun::Start(const QList<int> &boards, bool NoReadLoad)
{
    if (m_running)
        return false;
    m_boards = boards;
    m_next = 0;
    m_noReadLoad = NoReadLoad;
    m_exitIfFound = mdlOption::ExitIfMessageFound && NoReadLoad;
    m_outcomes.clear();
    m_holds = 0;
    m_waiting = false;
    m_stop = false;
    m_abandoned = false;
    m_bbs.SetTimeout(mdlOption::Timeout);
    m_bbs.InitCancel();
    m_running = true;
    QTimer::singleShot(0, this, &LoadRun::nextBoard);
    return true;
}

void LoadRun::Abandon()
{
    m_abandoned = true;
    if (std::exchange(m_waiting, false))
        QTimer::singleShot(0, this, &LoadRun::nextBoard);
}

void LoadRun::Hold()
{
    ++m_holds;
}

void LoadRun::Release()
{
    m_holds = std::max(0, m_holds - 1);
    if (m_holds == 0 && std::exchange(m_waiting, false))
        QTimer::singleShot(0, this, &LoadRun::nextBoard);
}

/** Starts the next board's load, unless the run ends here or is held. */
void LoadRun::nextBoard()
{
    if (m_abandoned) {
        finish();
        return;
    }
    // A hold delays the run's end too: what holds it belongs to the board just ended.
    if (m_holds > 0) {
        m_waiting = true;
        return;
    }
    if (m_stop || m_next >= m_boards.size()) {
        finish();
        return;
    }
    const int id = m_boards.at(m_next++);
    if (!m_board.GetProperty(id, m_db)) {
        Outcome missing;
        missing.BBS_ID = id;
        missing.Text = u"掲示板"_s + QString::number(id) + u"はありません。"_s;
        record(missing);
        return;
    }
    emit BoardStarted(m_board, m_next < m_boards.size());
    if (m_abandoned) {
        finish();
        return;
    }
    m_lastError.clear();
    m_loading = m_bbs.LoadBBS(id, m_noReadLoad, m_exitIfFound);
    if (!m_loading) // the transfer control is busy with a run of another's
        record(outcomeOf(false));
}

void LoadRun::boardLoaded(bool ok)
{
    if (!std::exchange(m_loading, false))
        return;
    if (m_abandoned)
        finish();
    else
        record(outcomeOf(ok));
}

void LoadRun::record(const Outcome &outcome)
{
    m_outcomes.append(outcome);
    emit BoardFinished(outcome);
    QTimer::singleShot(0, this, &LoadRun::nextBoard);
}

void LoadRun::finish()
{
    m_running = false;
    emit Finished();
}

/** The outcome of the board just loaded; @p ok: LoadBBS's result. */
LoadRun::Outcome LoadRun::outcomeOf(bool ok) const
{
    Outcome outcome;
    outcome.BBS_ID = m_board.ID();
    outcome.SaveCount = m_bbs.SaveCount();
    if (ok && outcome.SaveCount > 0) {
        outcome.kind = Outcome::Received;
        outcome.Text = m_board.BBS_Name() + u"で"_s + QString::number(outcome.SaveCount) + u"件受信しました。"_s;
    } else if (ok) {
        outcome.kind = Outcome::NothingNew;
        outcome.Text = m_board.BBS_Name() + u"に新規投稿はありませんでした。"_s;
    } else if (!m_bbs.IsError() && m_bbs.IsCancel()) {
        outcome.kind = Outcome::Cancelled;
        outcome.Text = u"処理は中断されました。"_s;
    } else {
        outcome.kind = Outcome::Failed;
        outcome.Text = m_board.BBS_Name() + u"から受信できませんでした。"_s
            + (outcome.SaveCount > 0 ? u"それまでの%1件は保存しました。"_s.arg(outcome.SaveCount) : QString());
        outcome.Error = m_lastError;
    }
    return outcome;
}

bool LoadRun::AnyFailed() const
{
    return std::any_of(m_outcomes.begin(), m_outcomes.end(),
                       [](const Outcome &o) { return o.kind == Outcome::Failed; });
}
