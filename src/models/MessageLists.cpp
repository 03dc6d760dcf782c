#include "models/MessageLists.h"

#include "app/mdlOption.h"
#include "db/NgRuleRepository.h"
#include "models/mdlMark.h"
#include "models/mdlRead.h"

MessageLists::MessageLists(Database *db, OneShotTimer *tmrRead)
    : m_db(db),
      m_ownTimer(tmrRead ? nullptr : std::make_unique<QtOneShotTimer>()),
      m_tmrRead(tmrRead ? tmrRead : m_ownTimer.get())
{
    SetDateFormat(mdlOption::DateFormat);
    ReloadNgRules();
}

void MessageLists::SetDatabase(Database *db)
{
    m_db = db;
    ReloadNgRules();
}

bool MessageLists::ReloadNgRules()
{
    const std::optional<QList<NgRule>> rules = m_db ? NgRuleRepository(*m_db).List() : QList<NgRule>();
    if (!rules)
        return false;
    m_lists[0].SetNgRules(*rules);
    m_lists[1].SetNgRules(*rules);
    return true;
}

bool MessageLists::AddMessageItem(int Index, const CMessage &Msg)
{
    widenRange(Index, Msg.ID);
    if (lsvMsgList(Index).AddRow(Msg) < 0)
        return false;
    takeState(Msg);
    mdlRead::ShowUnreadCount(*this, m_currentList);
    return true;
}

int MessageLists::AddMessageItems(int Index, const QList<CMessage> &Msgs)
{
    for (const CMessage &msg : Msgs)
        widenRange(Index, msg.ID);
    const QList<CMessage> added = lsvMsgList(Index).AddRows(Msgs);
    for (const CMessage &msg : added)
        takeState(msg);
    if (!added.isEmpty())
        mdlRead::ShowUnreadCount(*this, m_currentList);
    return int(added.size());
}

/** A new row's read marker and mark. */
void MessageLists::takeState(const CMessage &Msg)
{
    mdlRead::SetReadRows(*this, Msg.BBS_ID, Msg.ID, Msg.Read);
    if (Msg.Mark != 0)
        mdlMark::SetMarkRows(*this, Msg.BBS_ID, Msg.ID, Msg.Mark);
}

/** List 0's ID range takes in message @p ID, listed or hidden. */
void MessageLists::widenRange(int Index, int ID)
{
    if (Index != 0)
        return;
    if (m_maxListID == 0 || ID > m_maxListID)
        m_maxListID = ID;
    if (m_minListID == 0 || ID < m_minListID)
        m_minListID = ID;
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
