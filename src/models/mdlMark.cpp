#include "models/mdlMark.h"

#include "db/MessageRepository.h"
#include "db/Transaction.h"
#include "models/MessageLists.h"

#include <QMap>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

struct MarkColors
{
    quint32 fore = 0;
    quint32 back = 0;
};

// Slots 1 to the upper bound; IDs the table lacks are absent (their slot holds 0). A map
// keeps a huge ID typed into the table from costing memory.
QMap<int, MarkColors> markColors;
int upperBound = 0;

std::optional<MarkColors> slotOf(int markId)
{
    if (markId == 0)
        return MarkColors{mdlMark::SystemWindowText, mdlMark::SystemWindow};
    if (markId < 0 || markId > upperBound)
        return std::nullopt;
    return markColors.value(markId);
}

} // namespace

namespace mdlMark {

QList<MarkMenuItem> MarkMenu;

bool LoadMarkMenu(Database &db)
{
    MarkMenu.clear();
    markColors.clear();
    upperBound = 0;
    const std::optional<QList<MessageRepository::Mark>> marks = MessageRepository(db).Marks();
    if (!marks)
        return false;
    for (const MessageRepository::Mark &mark : *marks) {
        if (mark.ID < 1 || mark.ID > std::numeric_limits<int>::max())
            continue;
        const int id = int(mark.ID);
        MarkMenu.append({id, mark.Name});
        markColors.insert(id, {mark.ForeColor, mark.BackColor});
        upperBound = qMax(upperBound, id);
    }
    return true;
}

int MarkUpperBound()
{
    return upperBound;
}

std::optional<quint32> MarkForeColor(int MarkID)
{
    const std::optional<MarkColors> colors = slotOf(MarkID);
    return colors ? std::optional(colors->fore) : std::nullopt;
}

std::optional<quint32> MarkBackColor(int MarkID)
{
    const std::optional<MarkColors> colors = slotOf(MarkID);
    return colors ? std::optional(colors->back) : std::nullopt;
}

bool SetMark(MessageLists &lists, const QString &key, int MarkID)
{
    const std::optional<CMessage::KeyParts> parts = CMessage::ParseKey(key);
    if (!parts)
        return false;
    if (Database *db = lists.db(); db && !MessageRepository(*db).SetMark(*parts, MarkID))
        return false;
    SetMarkRows(lists, parts->BBS_ID, parts->ID, MarkID);
    return true;
}

void SetMarkRows(MessageLists &lists, int BBS_ID, int ID, int MarkID)
{
    const quint32 color = MarkForeColor(MarkID).value_or(SystemWindowText);
    for (int index : {0, 1}) {
        MessageListModel &list = lists.lsvMsgList(index);
        const int row = list.RowOf(BBS_ID, ID);
        if (row >= 0)
            list.SetMark(row, MarkID, color);
    }
}

bool SetSelectedMark(MessageLists &lists, int MarkID)
{
    const MessageListModel &list = lists.lsvMsgList(lists.CurrentList());
    QStringList keys;
    for (int row : list.SelectedRows())
        keys.append(list.Key(row));
    if (keys.isEmpty())
        return true;
    std::optional<Transaction> transaction;
    if (lists.db())
        transaction.emplace(*lists.db());
    bool ok = true;
    for (const QString &key : std::as_const(keys)) {
        if (!SetMark(lists, key, MarkID)) {
            ok = false;
            break;
        }
    }
    if (transaction && transaction->IsActive() && !transaction->Commit())
        ok = false;
    return ok;
}

int GetSelectedMark(const MessageLists &lists)
{
    const MessageListModel &list = lists.lsvMsgList(lists.CurrentList());
    int reference = 0;
    for (int row : list.SelectedRows()) {
        const int mark = list.Mark(row);
        if (reference == 0)
            reference = mark;
        if (mark != reference)
            return 0;
    }
    return reference;
}

} // namespace mdlMark
