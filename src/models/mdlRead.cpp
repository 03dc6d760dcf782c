#include "models/mdlRead.h"

#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
#include "db/Transaction.h"
#include "models/MessageLists.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

/** Unread-count changes per board, in the order the boards were met. */
using BoardDeltas = QList<std::pair<int, int>>;

void addDelta(BoardDeltas &deltas, int bbsId, int delta)
{
    for (auto &[board, sum] : deltas) {
        if (board == bbsId) {
            sum += delta;
            return;
        }
    }
    deltas.append({bbsId, delta});
}

void reportDeltas(MessageLists &lists, const BoardDeltas &deltas)
{
    if (!lists.UpdateBBSMenuCaption)
        return;
    for (const auto &[board, sum] : deltas) {
        if (sum != 0)
            lists.UpdateBBSMenuCaption(board, sum);
    }
}

/** True unless a list already shows the message in state @p read. */
bool changesShownState(const MessageLists &lists, const CMessage::KeyParts &key, bool read)
{
    for (int index : {0, 1}) {
        const MessageListModel &list = lists.lsvMsgList(index);
        const int row = list.RowOf(key.BBS_ID, key.ID);
        if (row < 0)
            continue;
        const MessageListModel::ReadMark mark = list.ReadMarkOf(row);
        return mark == MessageListModel::ReadMark::None || (mark == MessageListModel::ReadMark::Unread) == read;
    }
    return true;
}

/** The statement, then the rows; the board change goes to @p deltas. */
bool setRead(MessageLists &lists, const CMessage::KeyParts &key, bool read, bool adjustBoard, BoardDeltas &deltas)
{
    const bool changes = changesShownState(lists, key, read);
    int affected = 0;
    if (Database *db = lists.db()) {
        const std::optional<int> stored = MessageRepository(*db).SetRead(key, read);
        if (!stored)
            return false;
        affected = *stored;
    }
    mdlRead::SetReadRows(lists, key.BBS_ID, key.ID, read);
    if (adjustBoard && affected >= 1 && changes)
        addDelta(deltas, key.BBS_ID, read ? -1 : 1);
    return true;
}

/** @p key, or when it is empty the key of the current list's current row ("" when none). */
QString keyOrCurrent(const MessageLists &lists, const QString &key)
{
    if (!key.isEmpty())
        return key;
    const MessageListModel &list = lists.lsvMsgList(lists.CurrentList());
    const int row = list.CurrentRow();
    return row < 0 ? QString() : list.Key(row);
}

/** After any SetRead: the current list's count, and the read delay is over. */
void finishSetRead(MessageLists &lists, const BoardDeltas &deltas)
{
    reportDeltas(lists, deltas);
    mdlRead::ShowUnreadCount(lists, lists.CurrentList());
    mdlRead::StopReadTimer(lists);
}

} // namespace

namespace mdlRead {

bool IsReadItem(const MessageListModel &list, int row)
{
    return row >= 0 && row < list.rowCount() && list.ReadMarkOf(row) == MessageListModel::ReadMark::Read;
}

bool SetRead(MessageLists &lists, const QString &key, bool Read, bool AdjustBoard)
{
    const std::optional<CMessage::KeyParts> parts = CMessage::ParseKey(keyOrCurrent(lists, key));
    if (!parts)
        return false;
    BoardDeltas deltas;
    if (!setRead(lists, *parts, Read, AdjustBoard, deltas))
        return false;
    finishSetRead(lists, deltas);
    return true;
}

void MarkRead(MessageLists &lists, const QString &key)
{
    const QString target = keyOrCurrent(lists, key);
    // With a message to mark, SetRead fails only when the database refused the statement.
    if (!CMessage::ParseKey(target) || SetRead(lists, target, true, true) || !lists.ReportWriteFailure)
        return;
    const Database *db = lists.db();
    lists.ReportWriteFailure(u"既読にできませんでした。"_s + (db ? db->LastError().description : QString()));
}

bool SetSelectedRead(MessageLists &lists, int Index, bool Read)
{
    const MessageListModel &list = lists.lsvMsgList(Index);
    const MessageListModel::ReadMark from = Read ? MessageListModel::ReadMark::Unread : MessageListModel::ReadMark::Read;
    QList<CMessage::KeyParts> targets;
    for (int row : list.SelectedRows()) {
        if (list.ReadMarkOf(row) == from)
            targets.append({list.Message(row).BBS_ID, list.Message(row).ID});
    }
    bool ok = true;
    if (!targets.isEmpty()) {
        std::optional<Transaction> transaction;
        if (lists.db())
            transaction.emplace(*lists.db());
        BoardDeltas deltas;
        for (const CMessage::KeyParts &key : std::as_const(targets)) {
            if (!setRead(lists, key, Read, true, deltas)) {
                ok = false;
                break;
            }
        }
        // Rows already changed match their statements, so what ran is kept.
        if (transaction && transaction->IsActive() && !transaction->Commit())
            ok = false;
        finishSetRead(lists, deltas);
    }
    ShowUnreadCount(lists, Index);
    return ok;
}

void SetReadRows(MessageLists &lists, int BBS_ID, int ID, bool Read)
{
    for (int index : {0, 1}) {
        MessageListModel &list = lists.lsvMsgList(index);
        const int row = list.RowOf(BBS_ID, ID);
        if (row >= 0)
            list.SetReadMark(row, Read);
    }
}

void StartReadTimer(MessageLists &lists)
{
    StopReadTimer(lists);
    if (mdlOption::ReadTiming <= 0) {
        MarkRead(lists);
        return;
    }
    // The delay belongs to the message shown now: when another list, board or row is current
    // by the time it ends (a quick change or refill that did not stop it), nothing is marked.
    const int index = lists.CurrentList();
    const MessageListModel &list = lists.lsvMsgList(index);
    const int row = list.CurrentRow();
    const QString key = row >= 0 ? list.Key(row) : QString();
    lists.tmrRead().Start(mdlOption::ReadTiming, [&lists, index, key] {
        const MessageListModel &current = lists.lsvMsgList(lists.CurrentList());
        const int now = current.CurrentRow();
        if (lists.CurrentList() == index && now >= 0 && current.Key(now) == key)
            MarkRead(lists, key);
    });
}

void StopReadTimer(MessageLists &lists)
{
    lists.tmrRead().Stop();
}

int ListUnreadCount(const MessageLists &lists, int Index)
{
    return lists.lsvMsgList(Index).UnreadCount();
}

QString UnreadCountText(const MessageLists &lists, int Index)
{
    return QString::number(ListUnreadCount(lists, Index)) + u'/' + QString::number(lists.lsvMsgList(Index).rowCount());
}

void ShowUnreadCount(MessageLists &lists, int Index)
{
    if (lists.ShowCount)
        lists.ShowCount(UnreadCountText(lists, Index));
}

void ClearUnreadCount(MessageLists &lists, int Index)
{
    lists.lsvMsgList(Index).ClearUnreadCount();
}

} // namespace mdlRead
