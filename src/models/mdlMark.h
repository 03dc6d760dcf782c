#pragma once

#include "db/CMessage.h"
#include "models/OleColor.h"

#include <QList>
#include <QString>
#include <optional>

class Database;
class MessageLists;

/**
 * @short Marks: the mark menus and colours read from table Mark, and the mark of messages in
 * the database and in both message lists.
 *
 * A mark is a row of table Mark: ID 1 and up (0 means no mark), a name and two OLE colours.
 */
namespace mdlMark {

/** @short One item of both mark submenus: its index is the mark ID. */
struct MarkMenuItem
{
    int Index = 0;
    QString Caption; ///< the mark's name; "&" marks the access key
    bool operator==(const MarkMenuItem &) const = default;
};

/** OLE colours of slot 0: the system window text and window background. */
using OleColor::SystemWindowText;
using OleColor::SystemWindow;

/** @short The run-time items of both mark submenus (item 0 is never shown), ascending ID. */
extern QList<MarkMenuItem> MarkMenu;

/**
 * @short Rebuilds MarkMenu and the colour slots from table Mark. Rows with an ID below 1 are
 * left out. False when the table cannot be read (the menu is then empty).
 */
bool LoadMarkMenu(Database &db);
/** @short The highest mark ID loaded (0 when none): the upper bound of the colour slots. */
int MarkUpperBound();
/**
 * @short The text colour of slot @p MarkID: the system text colour for 0, 0 for an ID the
 * table lacks, nullopt above the upper bound or below 0.
 */
std::optional<quint32> MarkForeColor(int MarkID);
/** @short The background colour of slot @p MarkID, filled like MarkForeColor. */
std::optional<quint32> MarkBackColor(int MarkID);

/**
 * @short Sets the mark of one message in the database and in both lists (mark column and
 * text colour). An ID without a colour slot colours the rows as unmarked ones. False when
 * @p key is no key or the statement failed (the rows then stay as they were).
 */
[[nodiscard]] bool SetMark(MessageLists &lists, const QString &key, int MarkID);
/** @short Shows mark @p MarkID on the rows of one message in both lists, without the database. */
void SetMarkRows(MessageLists &lists, int BBS_ID, int ID, int MarkID);
/** @short SetMark for every selected row of the current list, in one transaction. */
[[nodiscard]] bool SetSelectedMark(MessageLists &lists, int MarkID);
/**
 * @short The mark shared by the selected rows of the current list, else 0. Walking in list
 * order, unmarked rows before the first marked one do not count (marks 0, 2 give 2; 2, 0 give 0).
 */
int GetSelectedMark(const MessageLists &lists);

} // namespace mdlMark
