#include "models/MessageLists.h"

#include "app/mdlOption.h"
#include "models/mdlMark.h"
#include "models/mdlRead.h"

MessageLists::MessageLists(Database *db, OneShotTimer *tmrRead)
    : m_db(db),
      m_ownTimer(tmrRead ? nullptr : std::make_unique<QtOneShotTimer>()),
      m_tmrRead(tmrRead ? tmrRead : m_ownTimer.get())
{
    SetDateFormat(mdlOption::DateFormat);
}

bool MessageLists::AddMessageItem(int Index, const CMessage &Msg)
{
    if (lsvMsgList(Index).AddRow(Msg) < 0)
        return false;
    takeState(Index, Msg);
    mdlRead::ShowUnreadCount(*this, m_currentList);
    return true;
}

int MessageLists::AddMessageItems(int Index, const QList<CMessage> &Msgs)
{
    const QList<CMessage> added = lsvMsgList(Index).AddRows(Msgs);
    for (const CMessage &msg : added)
        takeState(Index, msg);
    if (!added.isEmpty())
        mdlRead::ShowUnreadCount(*this, m_currentList);
    return int(added.size());
}

/** A new row's read marker and mark, and list 0's ID range. */
void MessageLists::takeState(int Index, const CMessage &Msg)
{
    mdlRead::SetReadRows(*this, Msg.BBS_ID, Msg.ID, Msg.Read);
    if (Msg.Mark != 0)
        mdlMark::SetMarkRows(*this, Msg.BBS_ID, Msg.ID, Msg.Mark);
    if (Index == 0) {
        if (m_maxListID == 0 || Msg.ID > m_maxListID)
            m_maxListID = Msg.ID;
        if (m_minListID == 0 || Msg.ID < m_minListID)
            m_minListID = Msg.ID;
    }
}

void MessageLists::ClearMessageList(int Index)
{
    lsvMsgList(Index).Clear();
    mdlRead::ClearUnreadCount(*this, Index);
    if (Index == 0)
        m_maxListID = m_minListID = 0;
}

void MessageLists::SetDateFormat(const QString &format)
{
    m_lists[0].SetDateFormat(format);
    m_lists[1].SetDateFormat(format);
}
