#pragma once

#include "db/CMessage.h"

#include <QString>

class MessageListModel;
class MessageLists;

/**
 * @short The read state of messages: the database row, the rows showing the message in both
 * message lists, the lists' unread counters, the boards' unread counts and the read delay.
 *
 * Statements and row changes go together: when a statement fails, the rows stay as they were
 * and the database's LastError() tells why.
 */
namespace mdlRead {

/** @short True when @p row of @p list is shown read (its first column is " "). */
bool IsReadItem(const MessageListModel &list, int row);

/**
 * @short Sets the read state of one message everywhere.
 *
 * An empty @p key means the selected row of the current list. The rows of the message in
 * both lists change (marker, bold, counters), the database row is updated, and with
 * @p AdjustBoard the board's unread count moves by one through UpdateBBSMenuCaption when a
 * record was affected and the message was not shown in that state already. Then the current
 * list's count is shown and the read delay stops. False when there is no such row or key, or
 * the statement failed.
 */
[[nodiscard]] bool SetRead(MessageLists &lists, const QString &key, bool Read, bool AdjustBoard);
/**
 * @short Marks a message the reader has looked at as read (the read delay ended, the reader moved
 * on): SetRead(lists, key, true, true), whose failure to store goes to
 * MessageLists::ReportWriteFailure. A missing row is no failure.
 */
void MarkRead(MessageLists &lists, const QString &key = {});
/**
 * @short SetRead with board adjustment for every selected row of list @p Index whose state
 * differs from @p Read, in one transaction; each board's count moves once by the sum of its
 * changes. Shows the count of list @p Index afterwards. False when a statement failed (the
 * rows before it keep their new state).
 */
[[nodiscard]] bool SetSelectedRead(MessageLists &lists, int Index, bool Read);
/** @short Shows message (@p BBS_ID, @p ID) read or unread in both lists, without the database. */
void SetReadRows(MessageLists &lists, int BBS_ID, int ID, bool Read);

/**
 * @short Arms the read delay for the shown message: after ReadTiming milliseconds the selected
 * row of the current list becomes read (SetRead with board adjustment), provided it is still
 * the same message in the same list; at once when ReadTiming is 0.
 */
void StartReadTimer(MessageLists &lists);
/** @short Cancels the read delay. */
void StopReadTimer(MessageLists &lists);

/** @short Rows of list @p Index shown unread. */
int ListUnreadCount(const MessageLists &lists, int Index);
/** @short "unread/rows" of list @p Index, e.g. "5/120". */
QString UnreadCountText(const MessageLists &lists, int Index);
/** @short Puts UnreadCountText into the status-bar panel "Count" (MessageLists::ShowCount). */
void ShowUnreadCount(MessageLists &lists, int Index);
/** @short Sets the unread counter of list @p Index to 0 (when the list is emptied). */
void ClearUnreadCount(MessageLists &lists, int Index);

} // namespace mdlRead
