#include "viewer/models/MessageLists.h"

#include "app/mdlOption.h"
#include "viewer/models/mdlMark.h"
#include "viewer/models/mdlRead.h"

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
    mdlRead::SetReadRows(*this, Msg.BBS_ID, Msg.ID, Msg.Read);
    if (Msg.Mark != 0)
        mdlMark::SetMarkRows(*this, Msg.BBS_ID, Msg.ID, Msg.Mark);
    if (Index == 0) {
        if (m_maxListID == 0 || Msg.ID > m_maxListID)
            m_maxListID = Msg.ID;
        if (m_minListID == 0 || Msg.ID < m_minListID)
            m_minListID = Msg.ID;
    }
    mdlRead::ShowUnreadCount(*this, m_currentList);
    return true;
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
