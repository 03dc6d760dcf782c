// The main window's lists, forwarded to the ListController.
#include "viewer/frmView.h"

#include "app/mdlOption.h"
#include "viewer/ListController.h"

#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

/** List 0 for index 0, list 1 for any other. */
ListIndex listIndex(int Index)
{
    return Index == 0 ? BoardList : ResultList;
}

} // namespace

bool frmView::ShowSQLResult(const QString &SQL, int Index)
{
    return m_listController->ShowSQLResult(SQL, ListIndex(Index));
}

bool frmView::ShowView(ViewType view)
{
    return m_listController->ShowView(view);
}

void frmView::SelectBoard(int BBS_ID)
{
    // Hidden rows are shown for a moment, for the board they were asked for.
    if (BBS_ID != mdlOption::BBS_ID && m_lists.lsvMsgList(BoardList).ShowNg()) {
        m_lists.lsvMsgList(BoardList).SetShowNg(false);
        m_lists.lsvMsgList(ResultList).SetShowNg(false);
        m_menu.value(u"mnuBBSViewNg"_s)->setChecked(false);
    }
    m_listController->SelectBoard(BBS_ID);
}

void frmView::ChangeList(int Index)
{
    m_listController->ChangeList(ListIndex(Index));
}

void frmView::ChangeBBSViewMenu()
{
    m_listController->ChangeBBSViewMenu();
}

void frmView::ShowMessage(int Index, int row, bool NoSelect)
{
    m_listController->ShowMessage(ListIndex(Index), row, NoSelect);
}

void frmView::ResetColumnHeaders(int Index, bool KeepIndent)
{
    m_listController->ResetColumnHeaders(ListIndex(Index), KeepIndent);
}

void frmView::ShowThread(int Index)
{
    m_listController->ShowThread(ListIndex(Index));
}

void frmView::ColumnClick(int Index, int column)
{
    m_listController->ColumnClick(ListIndex(Index), column);
}

int frmView::ListKind() const
{
    return m_listController->ListKind();
}

QAbstractItemModel *frmView::listModel(int Index) const
{
    return m_listController->ListModel(listIndex(Index));
}

int frmView::selectedRow(int Index) const
{
    return m_listController->SelectedRow(ListIndex(Index));
}

void frmView::ShowNoReadPoint()
{
    m_panels.value(u"NoReadPoint"_s)->setText(u"未読位置:"_s + QString::number(m_current.NoReadPoint()));
}
