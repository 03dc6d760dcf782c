// The main window's lists: board pages, query results, list switching, sorting and threads,
// showing a message, and the transfer control's events.
#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/uClickableLabel.h"
#include "controls/uSeparator.h"
#include "db/JetSql.h"
#include "db/MessageRepository.h"
#include "transfer/mdlErrorLog.h"
#include "viewer/BodyRenderer.h"
#include "viewer/QueryResultModel.h"
#include "viewer/frmLoadDlg.h"
#include "models/mdlRead.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString AscendingTag = u"↑"_s;
const QString DescendingTag = u"↓"_s;

} // namespace

bool frmView::ShowView(ViewType view)
{
    return ShowSQLResult(MessageRepository::PageStatement(view, mdlOption::AddMax, mdlOption::BBS_ID, m_lists.MaxListID(),
                                                          m_lists.MinListID()),
                         0);
}

void frmView::SelectBoard(int BBS_ID)
{
    mdlRead::StopReadTimer(m_lists);
    mdlOption::BBS_ID = BBS_ID;
    if (Database *db = database())
        m_current.GetProperty(BBS_ID, *db);
    ShowView(LatestView);
}

QAbstractItemModel *frmView::listModel(int Index) const
{
    return m_views.at(Index == 0 ? 0 : 1)->model();
}

void frmView::setListModel(int Index, QAbstractItemModel *model)
{
    QTreeView *view = m_views.at(size_t(Index));
    if (view->model() == model)
        return;
    // The view's own selection model goes with the model it was made for; a message list
    // keeps its selection model (the read and mark operations use it).
    QPointer<QItemSelectionModel> old = view->selectionModel();
    const bool ownedByView = old && old->parent() == view;
    if (old)
        disconnect(old, nullptr, this, nullptr);
    view->setModel(model);
    if (auto *messages = qobject_cast<MessageListModel *>(model)) {
        QPointer<QItemSelectionModel> created = view->selectionModel();
        view->setSelectionModel(messages->selectionModel());
        if (created && created->parent() == view)
            created->deleteLater();
    }
    if (old && ownedByView)
        old->deleteLater();
    QItemSelectionModel *selection = view->selectionModel();
    connect(selection, &QItemSelectionModel::currentRowChanged, this, [this, Index](const QModelIndex &current) {
        if (current.isValid())
            onRowChanged(Index, current.row());
    });
    // A click on the current row that leaves it alone selected (after a multiple selection)
    // moves no current row, yet shows that row.
    connect(selection, &QItemSelectionModel::selectionChanged, this, [this, Index, selection] {
        const QModelIndexList rows = selection->selectedRows();
        if (rows.size() == 1 && rows.first().row() == selection->currentIndex().row())
            onRowChanged(Index, rows.first().row());
    });
}

/** Header texts, tags, widths and positions of list @p from given to list @p to. */
void frmView::copyColumns(int from, int to)
{
    QHeaderView *source = m_views.at(size_t(from))->header();
    QHeaderView *target = m_views.at(size_t(to))->header();
    QAbstractItemModel *targetModel = listModel(to);
    for (int column = 0; column < listModel(from)->columnCount() && column < targetModel->columnCount(); ++column) {
        targetModel->setHeaderData(column, Qt::Horizontal, listModel(from)->headerData(column, Qt::Horizontal));
        target->resizeSection(column, source->sectionSize(column));
        target->moveSection(target->visualIndex(column), source->visualIndex(column));
    }
    m_headerTags[size_t(to)] = m_headerTags[size_t(from)];
}

int frmView::selectedRow(int Index) const
{
    const QItemSelectionModel *selection = m_views.at(size_t(Index))->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), {}))
        return current.row();
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool frmView::ShowSQLResult(const QString &SQL, int Index)
{
    mdlRead::StopReadTimer(m_lists);
    DbError error;
    const std::optional<int> type = m_query.ExecSQL(SQL, &error);
    if (!type) {
        prompter().information(u"処理が実行できませんでした。\n\n実行時エラー '"_s + QString::number(error.number)
                               + u"':\n"_s + error.description);
        return false;
    }
    QTreeView *view = m_views.at(size_t(Index));
    const bool wasShown = !view->isHidden();
    view->hide();
    sep->setBackColor(palette().color(QPalette::Base));
    if (*type != JetSql::Select && *type != JetSql::Crosstab && *type != JetSql::Union) {
        reportAction(*type); // an action or data definition: the cursor refuses every other type
        restoreList(Index, wasShown);
        return true;
    }
    if (!(m_query.SQLType() == 0 ? fillMessages(Index) : fillOtherRows(Index))) {
        restoreList(Index, wasShown);
        return false;
    }
    finishFill(Index);
    const int rows = listModel(Index)->rowCount();
    if (rows > 0) {
        m_views.at(size_t(Index))->selectionModel()->clearSelection();
        ShowMessage(Index, 0, false);
        mdlRead::StopReadTimer(m_lists);
    }
    return true;
}

/** The message of an action or data-definition statement; table BBS may have changed. */
void frmView::reportAction(int type)
{
    const QString count = QString::number(m_query.count());
    const QHash<int, QString> texts{{JetSql::Delete, count + u"件削除しました。"_s},
                                    {JetSql::Update, count + u"件更新しました。"_s},
                                    {JetSql::Append, count + u"件追加しました。"_s},
                                    {JetSql::MakeTable, u"テーブルを作成し"_s + count + u"件追加しました。"_s},
                                    {JetSql::DataDefinition, u"データ定義を完了しました。"_s}};
    prompter().information(texts.value(type));
    if (Database *db = database())
        m_boards.LoadBBSList(*db);
    RefreshToolbarImages();
}

/** List @p Index keeps its rows and is shown again when it was shown before. */
void frmView::restoreList(int Index, bool wasShown)
{
    m_views.at(size_t(Index))->setVisible(wasShown);
    sep->setBackColor(palette().color(QPalette::Button));
}

/** Rows of table Message into list @p Index, after the AddMax question for a long result. */
bool frmView::fillMessages(int Index)
{
    if (Index == 1) {
        setListModel(1, &m_lists.lsvMsgList(1));
        copyColumns(0, 1);
    }
    int c = m_query.count();
    if (c > mdlOption::AddMax) {
        const QString max = QString::number(mdlOption::AddMax);
        const QString text = u"検索結果が"_s + max + u"件を超えました"_s + u" ("_s + QString::number(c) + u"件)"_s
            + u'\n' + u"全件表示しますか？"_s + u'\n' + u"(いいえを選択すると最初の"_s + max + u"件のみ表示します。)"_s;
        if (prompter().ask(Prompter::Icon::Question, QString::fromLatin1(mdlApp::ProductName), text,
                           {Prompter::Yes, Prompter::No}, Prompter::No) == Prompter::No)
            c = mdlOption::AddMax;
    }
    m_lists.ClearMessageList(Index);
    rtbView->clear();
    m_shownKey.clear();
    m_filling = true;
    for (int i = 0; i < c; ++i) {
        if (const std::optional<CMessage> msg = m_query.Messages(i))
            m_lists.AddMessageItem(Index, *msg);
    }
    m_filling = false;
    m_listKind = 0;
    return true;
}

/** Rows of any other query: list 1 only, one column per field. */
bool frmView::fillOtherRows(int Index)
{
    if (Index == 0) {
        prompter().critical(u"そんなの表示できない。"_s);
        return false;
    }
    m_headerTags[1].clear();
    m_lists.ClearMessageList(1);
    rtbView->clear();
    m_shownKey.clear();
    if (const Recordset *rs = m_query.Recordset())
        m_otherRows->SetResult(*rs);
    else
        m_otherRows->Clear();
    setListModel(1, m_otherRows);
    m_listKind = 1;
    return true;
}

void frmView::finishFill(int Index)
{
    sep->setBackColor(palette().color(QPalette::Button));
    ChangeList(Index);
    ShowNoReadPoint();
    m_panels.value(u"Status"_s)->clear();
}

void frmView::ShowNoReadPoint()
{
    m_panels.value(u"NoReadPoint"_s)->setText(u"未読位置:"_s + QString::number(m_current.NoReadPoint()));
}

/** The caption: the shown board's name or the results list, prefixed while a load runs. */
void frmView::showCaption()
{
    const QString shown = m_lists.CurrentList() == 0 ? m_current.BBS_Name() : u"検索結果"_s;
    const QString caption = shown + u" - "_s + mdlApp::GetAppTitle();
    setWindowTitle(m_cbbs.IsLoad() ? u"受信中 - "_s + caption : caption);
}

void frmView::ChangeList(int Index)
{
    m_lists.SetCurrentList(Index);
    m_views[0]->setVisible(Index == 0);
    m_views[1]->setVisible(Index == 1);
    sep->Initialize(m_views.at(size_t(Index)), rtbView);
    if (Index == 0)
        m_listKind = 0;
    showCaption();
    if (const int row = selectedRow(Index); row >= 0)
        ShowMessage(Index, row, false);
    mnuMsg->menuAction()->setVisible(m_listKind == 0);
    ChangeBBSViewMenu();
    setCommandEnabled(m_menu.value(u"mnuBBSProperty"_s), Index == 0);
    mdlRead::ShowUnreadCount(m_lists, m_lists.CurrentList());
    RefreshToolbarImages();
}

void frmView::ChangeBBSViewMenu()
{
    m_buttons.value(u"BBSList"_s)->setToolTip(u"掲示板一覧"_s);
    const int n = mdlOption::AddMax;
    const auto pageCount = [n](int rows) { return rows > 0 ? rows : n; };
    int latest = 0;
    int older = 0;
    int newer = 0;
    if (Database *db = database()) {
        MessageRepository messages(*db);
        latest = messages.CountUpTo(mdlOption::BBS_ID, n);
        older = messages.CountBelow(mdlOption::BBS_ID, m_lists.MinListID(), n);
        newer = messages.CountAbove(mdlOption::BBS_ID, m_lists.MaxListID(), n);
    }

    m_viewItems[0]->setText(u"最新の"_s + QString::number(pageCount(latest)) + u"件(&T)"_s);
    setCommandEnabled(m_viewItems[0], latest > 0);
    m_viewItems[2]->setText(u"次の"_s + QString::number(pageCount(older)) + u"件(&N)"_s);
    setCommandEnabled(m_viewItems[2], older > 0);
    QAction *forword = m_buttons.value(u"Forword"_s);
    forword->setToolTip(u"次の"_s + QString::number(pageCount(older)) + u"件(F8)"_s);
    setCommandEnabled(forword, older > 0);
    m_viewItems[1]->setText(u"前の"_s + QString::number(pageCount(newer)) + u"件(&P)"_s);
    setCommandEnabled(m_viewItems[1], newer > 0);
    QAction *back = m_buttons.value(u"Back"_s);
    back->setToolTip(u"前の"_s + QString::number(pageCount(newer)) + u"件(F7)"_s);
    setCommandEnabled(back, newer > 0);
}

void frmView::onRowChanged(int Index, int row)
{
    const auto *list = qobject_cast<const MessageListModel *>(listModel(Index));
    const bool shown = list && row < list->rowCount() && list->Key(row) == m_shownKey;
    if (!m_showing && !shown)
        ShowMessage(Index, row, true);
}

void frmView::ShowMessage(int Index, int row, bool NoSelect)
{
    QTreeView *view = m_views.at(size_t(Index));
    if (row < 0 || row >= view->model()->rowCount())
        return;
    if (!NoSelect) {
        m_showing = true;
        view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_showing = false;
        view->scrollTo(view->model()->index(row, 0));
    }
    // Rows of another query (ListKind 1) have no message to show.
    if (!qobject_cast<MessageListModel *>(view->model()))
        return;
    if (view->selectionModel()->selectedRows().size() > 1)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    BodyRenderer::Render(*rtbView, list.CellText(row, MessageListModel::ColBody));
    m_shownKey = list.Key(row);
    ChangeStatusBarStyle(0);
    const QString mail = list.CellText(row, MessageListModel::ColMail);
    uclMailto->Label()->setText(u"mailto:"_s + mail);
    uclMailto->setToolTip(m_panels.value(u"Mail"_s)->toolTip());
    uclMailto->setVisible(!mail.isEmpty());
    const QString homePage = list.CellText(row, MessageListModel::ColHomePage);
    uclHomepage->Label()->setText(homePage);
    uclHomepage->setToolTip(m_panels.value(u"HomePage"_s)->toolTip());
    uclHomepage->setVisible(!homePage.isEmpty());
    if (!mdlRead::IsReadItem(list, row))
        mdlRead::StartReadTimer(m_lists);
    if (!History().FromHistory)
        History().Record(row + 1);
    History().FromHistory = false;
}

void frmView::ResetColumnHeaders(int Index, bool KeepIndent)
{
    QAbstractItemModel *model = listModel(Index);
    QHash<int, QString> &tags = m_headerTags[size_t(Index)];
    for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        // Only the mark goes: a field name of a query result may hold blanks of its own.
        const QString text = model->headerData(it.key(), Qt::Horizontal).toString();
        const bool marked = text.endsWith(u" △"_s) || text.endsWith(u" ▽"_s);
        model->setHeaderData(it.key(), Qt::Horizontal, marked ? text.chopped(2) : text);
    }
    tags.clear();
    if (!KeepIndent) {
        if (auto *messages = qobject_cast<MessageListModel *>(model))
            messages->ClearIndents();
    }
}

void frmView::ColumnClick(int Index, int column)
{
    const QString oldTag = m_headerTags[size_t(Index)].value(column);
    const bool messageRows = m_listKind == 0 && qobject_cast<MessageListModel *>(listModel(Index));
    ResetColumnHeaders(Index, m_listKind != 0);
    if (messageRows && column == MessageListModel::ColRead) {
        ShowThread(Index);
        return;
    }
    QAbstractItemModel *model = listModel(Index);
    const bool descending = oldTag == AscendingTag;
    model->sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_headerTags[size_t(Index)].insert(column, descending ? DescendingTag : AscendingTag);
    model->setHeaderData(column, Qt::Horizontal,
                         model->headerData(column, Qt::Horizontal).toString() + (descending ? u" ▽"_s : u" △"_s));
    if (const int row = selectedRow(Index); row >= 0)
        m_views.at(size_t(Index))->scrollTo(model->index(row, 0));
}

void frmView::ShowThread(int Index)
{
    auto *list = qobject_cast<MessageListModel *>(listModel(Index));
    if (!list || list->rowCount() == 0)
        return;
    const int selected = selectedRow(Index);
    const QString key = selected >= 0 ? list->Key(selected) : QString();
    list->ShowThread();
    if (!key.isEmpty())
        ShowMessage(Index, list->RowOfKey(key), false);
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
