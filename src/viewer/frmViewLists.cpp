// The main window's lists, forwarded to the ListController, and the transfer control's events.
#include "viewer/frmView.h"

#include "app/mdlOption.h"
#include "transfer/mdlErrorLog.h"
#include "viewer/ListController.h"
#include "viewer/frmLoadDlg.h"

#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <utility>

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

void frmView::onLoaded(const CMessage &Msg)
{
    // Rows go into the list, and board menus change their counts, together at most every
    // LoadedRowsMs: the view lays the rows out and the menus change once per batch rather
    // than once per message or page.
    if (m_loadedRows.isEmpty() && m_loadedCounts.isEmpty()) {
        const qint64 wait = m_sinceRowsListed.isValid() ? LoadedRowsMs - m_sinceRowsListed.elapsed() : 0;
        QTimer::singleShot(int(std::clamp<qint64>(wait, 0, LoadedRowsMs)), this, &frmView::flushLoadedRows);
    }
    if (m_cbbs.IsLoad() && Msg.BBS_ID == mdlOption::BBS_ID)
        m_loadedRows.append(Msg);
    ++m_loadedCounts[Msg.BBS_ID];
}

void frmView::flushLoadedRows()
{
    if (m_loadedRows.isEmpty() && m_loadedCounts.isEmpty())
        return;
    m_sinceRowsListed.start();
    const QHash<int, int> counts = std::exchange(m_loadedCounts, {});
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        UpdateBBSMenuCaption(it.key(), it.value());
    QList<CMessage> rows = std::exchange(m_loadedRows, {});
    // The user may have moved to another board since: its list was filled from storage.
    rows.removeIf([](const CMessage &msg) { return msg.BBS_ID != mdlOption::BBS_ID; });
    m_lists.AddMessageItems(0, rows);
}

void frmView::onStateChanged(const QString &Text, bool ShowStatus, bool AddLog)
{
    if (ShowStatus) {
        holdStatusBar();
        ChangeStatusBarStyle(1);
        m_panels.value(u"Status"_s)->setText(Text);
    }
    if (frmLoadDlg *dialog = LoadDialog())
        dialog->UpdateInfo(Text, 2, AddLog);
}

void frmView::onLoadError(int BBS_ID, const QString &EntryText, const QString &Message)
{
    CBBSProperty board;
    if (Database *db = database(); db && board.GetProperty(BBS_ID, *db))
        mdlErrorLog::AppendErrorLog(board.GetErrorLogFileName(), EntryText);
    if (frmLoadDlg *dialog = LoadDialog())
        dialog->UpdateInfo(Message, 2, true);
}
