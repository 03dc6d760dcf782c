#pragma once

#include "app/OneShotTimer.h"
#include "models/MessageListModel.h"
#include "models/ViewTypes.h"

#include <QString>
#include <functional>
#include <memory>

class Database;

/**
 * @short The main window's two message lists (0: the shown board, 1: search and query
 * results) with the state the list, mark and read operations share.
 *
 * The window provides the database, the read timer and two callbacks; mdlRead and mdlMark
 * work on this object. Filling a list: ClearMessageList, then AddMessageItem per message.
 */
class MessageLists
{
public:
    /** Both are not owned; without @p tmrRead a timer driven by the event loop is used. */
    explicit MessageLists(Database *db = nullptr, OneShotTimer *tmrRead = nullptr);
    MessageLists(const MessageLists &) = delete;
    MessageLists &operator=(const MessageLists &) = delete;

    /** @short List @p index (0 or 1). */
    MessageListModel &lsvMsgList(int index) { return index == 0 ? m_lists[0] : m_lists[1]; }
    const MessageListModel &lsvMsgList(int index) const { return index == 0 ? m_lists[0] : m_lists[1]; }

    Database *db() const { return m_db; }
    /** @short Uses @p db from now on and reads its NG rules. */
    void SetDatabase(Database *db);
    /**
     * @short Reads the NG rules from the database into both lists; rows added afterwards follow
     * them (refill a list to apply them to its rows). False when they could not be read: the
     * lists then keep the rules they had.
     */
    bool ReloadNgRules();
    OneShotTimer &tmrRead() { return *m_tmrRead; }

    /** @short The list the window shows. */
    ListIndex CurrentList() const { return m_currentList; }
    /** @short Makes list @p index current; any index but 0 means the results list. */
    void SetCurrentList(int index) { m_currentList = index == BoardList ? BoardList : ResultList; }
    /** @short Highest and lowest message ID added to list 0 since it was cleared; 0 when none. */
    int MaxListID() const { return m_maxListID; }
    int MinListID() const { return m_minListID; }

    /** @short Changes the shown unread count of board @p BBS_ID by @p Delta. */
    std::function<void(int BBS_ID, int Delta)> UpdateBBSMenuCaption;
    /** @short Shows the text of the status-bar panel "Count" ("5/120"). */
    std::function<void(const QString &Text)> ShowCount;
    /** @short Says that a read state nobody asked for by a command (MarkRead) was not stored. */
    std::function<void(const QString &Text)> ReportWriteFailure;

    /**
     * @short Appends a row for @p Msg to list @p Index with its read marker and mark.
     *
     * The read state and mark come from storage, so nothing is written back; rows of the same
     * message in the other list take them too. False when the list shows the message already
     * or an NG rule hides it; a hidden message of list 0 still counts for its ID range, so that
     * the next and previous pages go past it.
     */
    bool AddMessageItem(int Index, const CMessage &Msg);
    /** @short AddMessageItem for each of @p Msgs, inserted into the list at once; the number added. */
    int AddMessageItems(int Index, const QList<CMessage> &Msgs);
    /** @short Empties list @p Index and its unread counter (list 0 also its ID range). */
    void ClearMessageList(int Index);
    /** @short The date format of both lists (the DateFormat option). */
    void SetDateFormat(const QString &format);

private:
    void takeState(const CMessage &Msg);
    void widenRange(int Index, int ID);

    MessageListModel m_lists[2];
    Database *m_db;
    std::unique_ptr<OneShotTimer> m_ownTimer;
    OneShotTimer *m_tmrRead;
    ListIndex m_currentList = BoardList;
    int m_maxListID = 0;
    int m_minListID = 0;
};
