#include "viewer/ListController.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/uClickableLabel.h"
#include "controls/uSeparator.h"
#include "db/CBBSProperty.h"
#include "db/JetSql.h"
#include "db/MessageRepository.h"
#include "db/QueryCursor.h"
#include "viewer/BodyLinkController.h"
#include "viewer/BodyRenderer.h"
#include "viewer/BrowseHistory.h"
#include "viewer/QueryResultModel.h"
#include "models/MessageLists.h"
#include "models/mdlRead.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

const QString AscendingTag = u"↑"_s;
const QString DescendingTag = u"↓"_s;

} // namespace

ListController::ListController(QWidget &window, MessageLists &lists, QueryCursor &query, CBBSProperty &current,
                               std::function<Database *()> database, Widgets widgets, Commands commands)
    : m_window(window),
      m_lists(lists),
      m_query(query),
      m_current(current),
      m_database(std::move(database)),
      m_widgets(std::move(widgets)),
      m_commands(std::move(commands)),
      m_otherRows(new QueryResultModel(this))
{
    for (ListIndex Index : {BoardList, ResultList}) {
        connect(view(Index)->header(), &QHeaderView::sectionClicked, this,
                [this, Index](int column) { ColumnClick(Index, column); });
        setListModel(Index, &m_lists.lsvMsgList(Index));
    }
    addEmptyBoardHint();
}

/** A board without messages says in its list how to receive them. */
void ListController::addEmptyBoardHint()
{
    auto *hint = new QLabel(u"F5 で受信します"_s, view(BoardList)->viewport());
    hint->setObjectName(u"lsvMsgList(0).EmptyHint"_s);
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);
    hint->move(8, 8);
    hint->adjustSize();
    const MessageListModel *model = &m_lists.lsvMsgList(BoardList);
    const auto follow = [hint, model] { hint->setVisible(model->rowCount() == 0); };
    connect(model, &QAbstractItemModel::rowsInserted, hint, follow);
    connect(model, &QAbstractItemModel::rowsRemoved, hint, follow);
    connect(model, &QAbstractItemModel::modelReset, hint, follow);
    follow();
}

QTreeView *ListController::view(ListIndex Index) const
{
    return m_widgets.lists.at(size_t(Index));
}

QAbstractItemModel *ListController::ListModel(ListIndex Index) const
{
    return view(Index)->model();
}

bool ListController::ShowSearch(const QString &text)
{
    return showResult(MessageRepository::SearchStatement(text, mdlOption::AddMax), ResultList, text);
}

bool ListController::showsSearch() const
{
    return m_lists.CurrentList() == ResultList && !m_searchText.isEmpty();
}

/** The next page of the search that list 1 shows: older, or @p newer (found oldest first). */
bool ListController::showSearchPage(bool newer)
{
    const CMessage &from = newer ? m_searchNewest : m_searchOldest;
    m_reverseFill = newer;
    const bool shown =
        showResult(MessageRepository::SearchStatement(m_searchText, mdlOption::AddMax, &from, newer), ResultList,
                   m_searchText);
    m_reverseFill = false;
    return shown;
}

bool ListController::ShowView(ViewType view)
{
    if (showsSearch() && (view == NewerView || view == OlderView))
        return showSearchPage(view == NewerView);
    // The newer page's statement picks the messages just above the shown ones, oldest first;
    // its rows are listed newest first like every other page.
    m_reverseFill = view == NewerView;
    const bool shown = ShowSQLResult(MessageRepository::PageStatement(view, mdlOption::AddMax, mdlOption::BBS_ID,
                                                                      m_lists.MaxListID(), m_lists.MinListID()),
                                     BoardList);
    m_reverseFill = false;
    if (!shown)
        return false;
    m_shownView = view;
    // A page of the paged views holds the newest rows when none is newer than its own.
    m_showsNewest = (view != NewerView && view != OlderView) || !newerRowsStored();
    return true;
}

void ListController::RefreshNewestRows()
{
    if (!m_showsNewest || m_lists.CurrentList() != BoardList)
        return;
    const QString key = m_shownKey;
    // A paged view is read again as the latest page: its statement depends on the rows shown.
    if (!ShowView(m_shownView == NewerView || m_shownView == OlderView ? LatestView : m_shownView))
        return;
    const int row = key.isEmpty() ? -1 : m_lists.lsvMsgList(BoardList).RowOfKey(key);
    if (row <= 0)
        return;
    view(BoardList)->selectionModel()->clearSelection();
    ShowMessage(BoardList, row, false);
    mdlRead::StopReadTimer(m_lists);
}

void ListController::Refill()
{
    const QString key = m_shownKey;
    const ListIndex current = m_lists.CurrentList();
    for (ListIndex Index : {current == BoardList ? ResultList : BoardList, current}) {
        if (!m_fills[size_t(Index)].SQL.isEmpty() && (Index == BoardList || m_listKind == 0))
            refill(Index);
    }
    ChangeBBSViewMenu();
    m_commands.showNoReadPoint();
    const int row = key.isEmpty() ? -1 : m_lists.lsvMsgList(current).RowOfKey(key);
    if (row < 0 || ListModel(current) != &m_lists.lsvMsgList(current))
        return;
    ShowMessage(current, row, false);
    mdlRead::StopReadTimer(m_lists);
}

/** List @p Index filled again by its last statement, with the row count and order of then. */
void ListController::refill(ListIndex Index)
{
    const Fill fill = m_fills[size_t(Index)];
    DbError error;
    if (!m_query.ExecSQL(fill.SQL, &error) || m_query.SQLType() != 0)
        return;
    const QScopedValueRollback newest(m_showsNewest);
    const QScopedValueRollback kind(m_listKind);
    const QScopedValueRollback reverse(m_reverseFill, fill.reverse);
    fillMessages(Index, fill.limit);
    m_fills[size_t(Index)].SQL = fill.SQL;
}

bool ListController::newerRowsStored() const
{
    Database *db = m_database();
    return db && MessageRepository(*db).CountAbove(mdlOption::BBS_ID, m_lists.MaxListID(), 1) > 0;
}

void ListController::SelectBoard(int BBS_ID)
{
    mdlRead::StopReadTimer(m_lists);
    mdlOption::BBS_ID = BBS_ID;
    if (Database *db = m_database())
        m_current.GetProperty(BBS_ID, *db);
    ShowView(LatestView);
}

void ListController::setListModel(ListIndex Index, QAbstractItemModel *model)
{
    QTreeView *list = view(Index);
    if (list->model() == model)
        return;
    // The view's own selection model goes with the model it was made for; a message list
    // keeps its selection model (the read and mark operations use it).
    QPointer<QItemSelectionModel> old = list->selectionModel();
    const bool ownedByView = old && old->parent() == list;
    if (old)
        disconnect(old, nullptr, this, nullptr);
    list->setModel(model);
    if (auto *messages = qobject_cast<MessageListModel *>(model)) {
        QPointer<QItemSelectionModel> created = list->selectionModel();
        list->setSelectionModel(messages->selectionModel());
        if (created && created->parent() == list)
            created->deleteLater();
    }
    if (old && ownedByView)
        old->deleteLater();
    QItemSelectionModel *selection = list->selectionModel();
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

void ListController::CopyColumns(ListIndex from, ListIndex to)
{
    QHeaderView *source = view(from)->header();
    QHeaderView *target = view(to)->header();
    QAbstractItemModel *sourceModel = ListModel(from);
    QAbstractItemModel *targetModel = ListModel(to);
    for (int column = 0; column < sourceModel->columnCount() && column < targetModel->columnCount(); ++column) {
        targetModel->setHeaderData(column, Qt::Horizontal, sourceModel->headerData(column, Qt::Horizontal));
        if (!source->isSectionHidden(column))
            target->resizeSection(column, source->sectionSize(column));
        target->moveSection(target->visualIndex(column), source->visualIndex(column));
    }
    m_headerTags[size_t(to)] = m_headerTags[size_t(from)];
}

int ListController::SelectedRow(ListIndex Index) const
{
    const QItemSelectionModel *selection = view(Index)->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row(), {}))
        return current.row();
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool ListController::ShowSQLResult(const QString &SQL, ListIndex Index)
{
    return showResult(SQL, Index, QString());
}

/** ShowSQLResult; into list 1 the rows of the search for @p searchText when it is not empty. */
bool ListController::showResult(const QString &SQL, ListIndex Index, const QString &searchText)
{
    mdlRead::StopReadTimer(m_lists);
    DbError error;
    const std::optional<int> type = m_query.ExecSQL(SQL, &error);
    if (!type) {
        prompter().information(u"処理が実行できませんでした。\n\n実行時エラー '"_s + QString::number(error.number)
                               + u"':\n"_s + error.description);
        return false;
    }
    QTreeView *list = view(Index);
    const bool wasShown = !list->isHidden();
    list->hide();
    m_widgets.separator->setBackColor(m_window.palette().color(QPalette::Base));
    if (*type != JetSql::Select && *type != JetSql::Crosstab && *type != JetSql::Union) {
        reportAction(*type); // an action or data definition: the cursor refuses every other type
        restoreList(Index, wasShown);
        return true;
    }
    if (!(m_query.SQLType() == 0 ? fillMessages(Index) : fillOtherRows(Index))) {
        restoreList(Index, wasShown);
        return false;
    }
    m_fills[size_t(Index)].SQL = m_query.SQLType() == 0 ? SQL : QString();
    if (Index == ResultList)
        takeSearch(searchText);
    finishFill(Index);
    if (ListModel(Index)->rowCount() > 0) {
        list->selectionModel()->clearSelection();
        ShowMessage(Index, 0, false);
        mdlRead::StopReadTimer(m_lists);
    }
    return true;
}

/** The message of an action or data-definition statement; table BBS may have changed. */
void ListController::reportAction(int type)
{
    const QString count = QString::number(m_query.count());
    const QHash<int, QString> texts{{JetSql::Delete, count + u"件削除しました。"_s},
                                    {JetSql::Update, count + u"件更新しました。"_s},
                                    {JetSql::Append, count + u"件追加しました。"_s},
                                    {JetSql::MakeTable, u"テーブルを作成し"_s + count + u"件追加しました。"_s},
                                    {JetSql::DataDefinition, u"データ定義を完了しました。"_s}};
    prompter().information(texts.value(type));
    m_commands.reloadBoards();
}

/** List @p Index keeps its rows and is shown again when it was shown before. */
void ListController::restoreList(ListIndex Index, bool wasShown)
{
    view(Index)->setVisible(wasShown);
    m_widgets.separator->setBackColor(m_window.palette().color(QPalette::Button));
}

/**
 * Rows of table Message into list @p Index, after the AddMax question for a long result; a
 * refill gives the @p limit answered then.
 */
bool ListController::fillMessages(ListIndex Index, std::optional<int> limit)
{
    if (Index == ResultList) {
        setListModel(ResultList, &m_lists.lsvMsgList(ResultList));
        CopyColumns(BoardList, ResultList);
    }
    int c = limit ? qMin(*limit, m_query.count()) : m_query.count();
    if (!limit && c > mdlOption::AddMax) {
        const QString max = QString::number(mdlOption::AddMax);
        const QString text = u"検索結果が"_s + max + u"件を超えました"_s + u" ("_s + QString::number(c) + u"件)"_s
            + u'\n' + u"全件表示しますか？"_s + u'\n' + u"(いいえを選択すると最初の"_s + max + u"件のみ表示します。)"_s;
        if (prompter().ask(Prompter::Icon::Question, QString::fromLatin1(mdlApp::ProductName), text,
                           {Prompter::Yes, Prompter::No}, Prompter::No) == Prompter::No)
            c = mdlOption::AddMax;
    }
    m_lists.ClearMessageList(Index);
    // The rows come in the statement's order: no header keeps a sort mark.
    ResetColumnHeaders(Index, true);
    if (Index == BoardList)
        m_showsNewest = false; // until ShowView says which page this is
    ClearShownMessage();
    m_filling = true;
    for (int i = 0; i < c; ++i) {
        if (const std::optional<CMessage> msg = m_query.Messages(i))
            m_lists.AddMessageItem(Index, *msg);
    }
    m_filling = false;
    if (m_reverseFill)
        m_lists.lsvMsgList(Index).ReverseRows();
    m_fills[size_t(Index)] = {{}, m_reverseFill, c};
    m_listKind = 0;
    return true;
}

/** Rows of any other query: list 1 only, one column per field. */
bool ListController::fillOtherRows(ListIndex Index)
{
    if (Index == BoardList) {
        prompter().critical(u"そんなの表示できない。"_s);
        return false;
    }
    m_headerTags[ResultList].clear();
    m_lists.ClearMessageList(ResultList);
    ClearShownMessage();
    if (const Recordset *rs = m_query.Recordset())
        m_otherRows->SetResult(*rs);
    else
        m_otherRows->Clear();
    setListModel(ResultList, m_otherRows);
    m_listKind = 1;
    return true;
}

/**
 * List 1 now shows the rows of the search for @p text (none: other rows); the page's first
 * and last rows bound the next pages. The board column shows where the rows may come from
 * several boards.
 */
void ListController::takeSearch(const QString &text)
{
    const MessageListModel &list = m_lists.lsvMsgList(ResultList);
    m_searchText = list.rowCount() > 0 ? text : QString(); // nothing found: no page to turn
    if (!m_searchText.isEmpty()) {
        m_searchNewest = list.Message(0);
        m_searchOldest = list.Message(list.rowCount() - 1);
    }
    if (ListModel(ResultList) == &list)
        view(ResultList)->setColumnHidden(MessageListModel::ColBBS, text.isEmpty() && !list.MixesBoards());
}

void ListController::finishFill(ListIndex Index)
{
    m_widgets.separator->setBackColor(m_window.palette().color(QPalette::Button));
    ChangeList(Index);
    m_commands.showNoReadPoint();
    m_widgets.statusPanel->clear();
}

void ListController::ClearShownMessage()
{
    m_widgets.body->clear();
    m_shownKey.clear();
    // The addresses belong to the message that was shown.
    m_widgets.mailto->hide();
    m_widgets.homepage->hide();
    m_widgets.inReplyTo->hide();
}

void ListController::ShowCaption()
{
    const QString shown = m_lists.CurrentList() == BoardList ? m_current.BBS_Name() : u"検索結果"_s;
    const QString caption = shown + u" - "_s + mdlApp::GetAppTitle();
    m_window.setWindowTitle(m_commands.isLoading() ? u"受信中 - "_s + caption : caption);
}

void ListController::ChangeList(ListIndex Index)
{
    m_lists.SetCurrentList(Index);
    view(BoardList)->setVisible(Index == BoardList);
    view(ResultList)->setVisible(Index == ResultList);
    m_widgets.separator->Initialize(view(Index), m_widgets.body);
    if (Index == BoardList)
        m_listKind = 0;
    ShowCaption();
    if (const int row = SelectedRow(Index); row >= 0)
        ShowMessage(Index, row, false);
    m_widgets.messageMenu->setVisible(m_listKind == 0);
    ChangeBBSViewMenu();
    m_commands.setCommandEnabled(m_widgets.boardProperty, Index == BoardList);
    mdlRead::ShowUnreadCount(m_lists, m_lists.CurrentList());
    m_commands.refreshToolbarImages();
}

void ListController::ChangeBBSViewMenu()
{
    m_widgets.boardListButton->setToolTip(u"掲示板一覧"_s);
    const int n = mdlOption::AddMax;
    const auto pageCount = [n](int rows) { return rows > 0 ? rows : n; };
    int latest = 0;
    int older = 0;
    int newer = 0;
    if (Database *db = m_database()) {
        MessageRepository messages(*db);
        latest = messages.CountUpTo(mdlOption::BBS_ID, n);
        // The pages of the search that list 1 shows, or those around list 0's page.
        older = showsSearch() ? messages.CountFound(m_searchText, m_searchOldest, false, n)
                              : messages.CountBelow(mdlOption::BBS_ID, m_lists.MinListID(), n);
        newer = showsSearch() ? messages.CountFound(m_searchText, m_searchNewest, true, n)
                              : messages.CountAbove(mdlOption::BBS_ID, m_lists.MaxListID(), n);
    }

    const QList<QAction *> &items = m_widgets.viewItems;
    items[LatestView]->setText(u"最新の"_s + QString::number(pageCount(latest)) + u"件(&T)"_s);
    m_commands.setCommandEnabled(items[LatestView], latest > 0);
    items[OlderView]->setText(u"次の"_s + QString::number(pageCount(older)) + u"件(&N)"_s);
    m_commands.setCommandEnabled(items[OlderView], older > 0);
    m_widgets.forwordButton->setToolTip(u"次の"_s + QString::number(pageCount(older)) + u"件(F8)"_s);
    m_commands.setCommandEnabled(m_widgets.forwordButton, older > 0);
    items[NewerView]->setText(u"前の"_s + QString::number(pageCount(newer)) + u"件(&P)"_s);
    m_commands.setCommandEnabled(items[NewerView], newer > 0);
    m_widgets.backButton->setToolTip(u"前の"_s + QString::number(pageCount(newer)) + u"件(F7)"_s);
    m_commands.setCommandEnabled(m_widgets.backButton, newer > 0);
}

void ListController::onRowChanged(ListIndex Index, int row)
{
    const auto *list = qobject_cast<const MessageListModel *>(ListModel(Index));
    const bool shown = list && row < list->rowCount() && list->Key(row) == m_shownKey;
    if (!m_showing && !shown)
        ShowMessage(Index, row, true);
}

void ListController::ShowMessage(ListIndex Index, int row, bool NoSelect)
{
    QTreeView *listView = view(Index);
    if (row < 0 || row >= listView->model()->rowCount())
        return;
    if (!NoSelect) {
        m_showing = true;
        listView->selectionModel()->setCurrentIndex(listView->model()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_showing = false;
        listView->scrollTo(listView->model()->index(row, 0));
    }
    // Rows of another query (ListKind 1) have no message to show.
    if (!qobject_cast<MessageListModel *>(listView->model()))
        return;
    if (listView->selectionModel()->selectedRows().size() > 1)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    BodyRenderer::Render(*m_widgets.body, list.CellText(row, MessageListModel::ColBody));
    m_shownKey = list.Key(row);
    m_commands.changeStatusBarStyle(0);
    // Each address label lies over its status-bar panel and shows the panel's hint.
    const QString mail = list.CellText(row, MessageListModel::ColMail);
    uClickableLabel *mailto = m_widgets.mailto;
    mailto->Label()->setText(u"mailto:"_s + mail);
    mailto->setToolTip(mailto->parentWidget()->toolTip());
    mailto->setVisible(!mail.isEmpty());
    const QString homePage = list.CellText(row, MessageListModel::ColHomePage);
    uClickableLabel *homepage = m_widgets.homepage;
    homepage->Label()->setText(homePage);
    homepage->setToolTip(homepage->parentWidget()->toolTip());
    homepage->setVisible(!homePage.isEmpty());
    BodyLinkController::ShowReplyLink(*m_widgets.inReplyTo, list.Message(row).InReplyTo);
    if (!mdlRead::IsReadItem(list, row))
        mdlRead::StartReadTimer(m_lists);
    BrowseHistory &history = m_commands.history();
    if (!history.FromHistory)
        history.Record(row + 1);
    history.FromHistory = false;
}

void ListController::ResetColumnHeaders(ListIndex Index, bool KeepIndent)
{
    QAbstractItemModel *model = ListModel(Index);
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

void ListController::ColumnClick(ListIndex Index, int column)
{
    const QString oldTag = m_headerTags[size_t(Index)].value(column);
    const bool messageRows = m_listKind == 0 && qobject_cast<MessageListModel *>(ListModel(Index));
    ResetColumnHeaders(Index, m_listKind != 0);
    if (messageRows && column == MessageListModel::ColRead) {
        ShowThread(Index);
        return;
    }
    QAbstractItemModel *model = ListModel(Index);
    const bool descending = oldTag == AscendingTag;
    model->sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_headerTags[size_t(Index)].insert(column, descending ? DescendingTag : AscendingTag);
    model->setHeaderData(column, Qt::Horizontal,
                         model->headerData(column, Qt::Horizontal).toString() + (descending ? u" ▽"_s : u" △"_s));
    if (const int row = SelectedRow(Index); row >= 0)
        view(Index)->scrollTo(model->index(row, 0));
}

void ListController::ShowThread(ListIndex Index)
{
    auto *list = qobject_cast<MessageListModel *>(ListModel(Index));
    if (!list || list->rowCount() == 0)
        return;
    const int selected = SelectedRow(Index);
    const QString key = selected >= 0 ? list->Key(selected) : QString();
    list->ShowThread();
    if (!key.isEmpty())
        ShowMessage(Index, list->RowOfKey(key), false);
}
