#include "viewer/MessageCommands.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "db/BoardRepository.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
#include "models/MessageLists.h"
#include "models/mdlMark.h"
#include "models/mdlRead.h"
#include "settings_ui/NgRuleEditing.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMap>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSet>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

/**
 * A relate-search text split into its board part and number part: at the first "#", else at
 * the first blank, else before the first digit. Both parts trimmed.
 */
std::pair<QString, QString> splitRelateText(const QString &text)
{
    qsizetype at = text.indexOf(u'#');
    if (at < 0)
        at = text.indexOf(u' ');
    if (at >= 0)
        return {text.left(at).trimmed(), text.mid(at + 1).trimmed()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) >= u'0' && text.at(i) <= u'9')
            return {text.left(i).trimmed(), text.mid(i).trimmed()};
    }
    return {text, QString()};
}

/**
 * The rule for poster @p name on board @p BBS_ID: the whole name, so that a longer name holding
 * it stays listed; a name too long to write out as an expression is matched as plain text.
 */
NgRule posterRule(const QString &name, int BBS_ID)
{
    NgRule rule;
    rule.Field = NgField::Poster;
    rule.BBS_ID = BBS_ID;
    rule.Pattern = u'^' + QRegularExpression::escape(name) + u'$';
    rule.RegExp = rule.Pattern.size() <= NgPatternMaxLength;
    if (!rule.RegExp)
        rule.Pattern = name;
    return rule;
}

/** The whole thread of message @p ID of board @p BBS_ID. */
QString threadStatement(int BBS_ID, int ID)
{
    const QString board = QString::number(BBS_ID);
    return u"SELECT *"_s + u"  FROM Message"_s + u" WHERE RootThread = "_s + u"  (SELECT RootThread"_s
        + u"     FROM Message"_s + u"    WHERE BBS_ID = "_s + board + u"     AND ID     = "_s + QString::number(ID)
        + u"  )"_s + u" AND BBS_ID = "_s + board;
}

} // namespace

MessageCommands::MessageCommands(MessageLists &lists, std::function<Database *()> database,
                                 QHash<QString, QAction *> &menuItems, Widgets widgets, Commands commands)
    : m_lists(lists),
      m_database(std::move(database)),
      m_menuItems(menuItems),
      m_widgets(widgets),
      m_commands(std::move(commands))
{
    connectMenu();
    createListPopup();
}

void MessageCommands::connectMenu()
{
    const auto wire = [this](const QString &name, auto &&slot) {
        connect(m_menuItems.value(name), &QAction::triggered, this, slot);
    };
    wire(u"mnuMsgRelate"_s, [this] { relateSelected(); });
    wire(u"mnuMsgMail"_s, [this] { openSelectedRowAddress(true); });
    wire(u"mnuMsgHomePage"_s, [this] { openSelectedRowAddress(false); });
    wire(u"mnuMsgNoRead"_s, [this] { setSelectedRead(false); });
    wire(u"mnuMsgRead"_s, [this] { setSelectedRead(true); });
    wire(u"mnuMsgDelete"_s, [this] { deleteSelected(); });
    wire(u"mnuMsgAllSelect"_s, [this] { selectEveryRow(false); });
    wire(u"mnuMsgReverseSelect"_s, [this] { selectEveryRow(true); });
    // The Delete, Backspace and Ctrl+B keys raise this signal too before they act.
    connect(m_widgets.messageMenu, &QMenu::aboutToShow, this, &MessageCommands::UpdateMessageMenu);
}

/** An item of @p menu named @p name, known by that name among the window's menu items. */
QAction *MessageCommands::addItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(name);
    m_menuItems.insert(name, item);
    return item;
}

void MessageCommands::enable(const QString &name, bool enabled)
{
    if (QAction *item = m_menuItems.value(name))
        m_commands.setCommandEnabled(item, enabled);
}

void MessageCommands::createListPopup()
{
    QMenu *popup = m_widgets.popupMenu;
    const auto item = [this, popup](const QString &name, const QString &caption, auto &&slot) {
        connect(addItem(popup, name, caption), &QAction::triggered, this, slot);
    };
    item(u"mnuPopupReply"_s, u"返信(&R)..."_s, [this] { m_commands.reply(); });
    item(u"mnuPopupReplyHitokoto(1)"_s, u"左ひとことで返信(&1)..."_s, [this] { ReplyHitokoto(1); });
    item(u"mnuPopupReplyHitokoto(2)"_s, u"右ひとことで返信(&2)..."_s, [this] { ReplyHitokoto(2); });
    popup->addSeparator();
    item(u"mnuPopupMail"_s, m_menuItems.value(u"mnuMsgMail"_s)->text(), [this] { openSelectedRowAddress(true); });
    item(u"mnuPopupHomepage"_s, m_menuItems.value(u"mnuMsgHomePage"_s)->text(),
         [this] { openSelectedRowAddress(false); });
    popup->addSeparator();
    mnuPopupMark = popup->addMenu(u"マーク(&L)"_s);
    mnuPopupMark->setObjectName(u"mnuPopupMark"_s);
    mnuPopupMark->menuAction()->setObjectName(u"mnuPopupMark"_s);
    m_menuItems.insert(u"mnuPopupMark"_s, mnuPopupMark->menuAction());
    item(u"mnuPopupNoRead"_s, u"未読にする(&E)"_s, [this] { setSelectedRead(false); });
    item(u"mnuPopupRead"_s, u"既読にする(&U)"_s, [this] { setSelectedRead(true); });
    item(u"mnuPopupDelete"_s, u"削除(&D)"_s, [this] { deleteSelected(); });
    popup->addSeparator();
    item(u"mnuPopupInReplyTo"_s, u"レス元へ(&I)"_s, [this] { m_commands.moveToReplyTarget(m_lists.CurrentList()); });
    item(u"mnuPopupRelate"_s, u"関連検索(&K)"_s, [this] { relateSelected(); });
    popup->addSeparator();
    item(u"mnuPopupNgPoster"_s, u"この投稿者をNGに追加(&N)"_s, [this] { addNgRule(true); });
    item(u"mnuPopupNgText"_s, u"選択した文字列をNGに追加(&W)"_s, [this] { addNgRule(false); });
    item(u"mnuPopupNgReveal"_s, u"元の投稿を表示(&O)"_s, [this] { revealSelected(); });
    popup->addSeparator();
    item(u"mnuPopupAllSelect"_s, u"全て選択(&A)"_s, [this] { selectEveryRow(false); });
    item(u"mnuPopupReverseSelect"_s, u"選択範囲反転(&V)"_s, [this] { selectEveryRow(true); });
    LoadMarkMenu();

    for (QTreeView *view : m_widgets.lists) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }
}

void MessageCommands::UpdateMessageMenu()
{
    LoadMarkMenu();
    const ListIndex Index = m_lists.CurrentList();
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const QList<int> rows = m_commands.showsMessages(Index) ? list.SelectedRows() : QList<int>();
    const int row = rows.isEmpty() ? -1 : m_commands.selectedRow(Index);
    const bool several = rows.size() > 1;
    const bool one = rows.size() == 1;
    enable(u"mnuMsgDelete"_s, row >= 0);
    enable(u"mnuMsgRead"_s, several || (one && !mdlRead::IsReadItem(list, row)));
    enable(u"mnuMsgNoRead"_s, several || (one && mdlRead::IsReadItem(list, row)));
    enable(u"mnuMsgMail"_s, row >= 0 && !list.CellText(row, MessageListModel::ColMail).isEmpty());
    enable(u"mnuMsgHomePage"_s, row >= 0 && !list.CellText(row, MessageListModel::ColHomePage).isEmpty());
    enable(u"mnuMoveInReplyTo"_s, one && list.Message(rows.first()).InReplyTo != 0);
    enable(u"mnuMsgRelate"_s, row >= 0);
    // A poster without a name is no one in particular: a rule on "" would hide every such post.
    enable(u"mnuPopupNgPoster"_s, one && row >= 0 && !list.Message(row).PostName.isEmpty());
    enable(u"mnuPopupNgText"_s, one && row >= 0 && !m_commands.selectedBodyText().trimmed().isEmpty());
    enable(u"mnuPopupNgReveal"_s, one && row >= 0 && list.NgMarkOf(row) == MessageListModel::NgMark::Abone
                                      && !list.Revealed(row));
}

void MessageCommands::LoadMarkMenu()
{
    if (Database *db = m_database())
        mdlMark::LoadMarkMenu(*db);
    const int checked = mdlMark::GetSelectedMark(m_lists);
    fillMarkMenu(m_widgets.markMenu, u"mnuMsg"_s, checked);
    if (mnuPopupMark)
        fillMarkMenu(mnuPopupMark, u"mnuPopup"_s, checked);
}

/** Rebuilds @p menu's items (named @p prefix + "MarkSub(i)"), the item of mark @p checked checked. */
void MessageCommands::fillMarkMenu(QMenu *menu, const QString &prefix, int checked)
{
    menu->clear();
    const auto addItem = [menu](const QString &name, const QString &caption) {
        QAction *item = menu->addAction(caption);
        item->setObjectName(name);
        return item;
    };
    addItem(prefix + u"MarkSub(0)"_s, u"だみー"_s)->setVisible(false);
    for (const mdlMark::MarkMenuItem &mark : std::as_const(mdlMark::MarkMenu)) {
        QAction *item = addItem(prefix + u"MarkSub(%1)"_s.arg(mark.Index), mark.Caption);
        item->setCheckable(true);
        item->setChecked(mark.Index == checked);
        connect(item, &QAction::triggered, this, [this, id = mark.Index] { setSelectedMark(id); });
    }
    menu->addSeparator();
    connect(addItem(prefix + u"MarkRelease"_s, u"マーク解除(&R)"_s), &QAction::triggered, this,
            [this] { setSelectedMark(0); });
}

/** Tells the user that @p what failed, with the reason the database gives when there is one. */
void MessageCommands::reportFailure(const QString &what)
{
    QString text = what;
    if (const Database *db = m_database(); db && !db->LastError().description.isEmpty())
        text += u"\n\n"_s + db->LastError().description;
    prompter().critical(text);
}

void MessageCommands::setSelectedMark(int MarkID)
{
    if (m_commands.showsMessages(m_lists.CurrentList()) && !mdlMark::SetSelectedMark(m_lists, MarkID))
        reportFailure(u"マークを変更できなかったメッセージがあります。"_s);
}

void MessageCommands::setSelectedRead(bool Read)
{
    const ListIndex Index = m_lists.CurrentList();
    if (m_commands.showsMessages(Index) && !mdlRead::SetSelectedRead(m_lists, Index, Read))
        reportFailure(Read ? u"既読にできなかったメッセージがあります。"_s : u"未読にできなかったメッセージがあります。"_s);
}

/**
 * Deletes the selected messages of the current list after asking. The database goes first, in
 * one transaction: when it fails, every row stays as it was and the user is told.
 */
void MessageCommands::deleteSelected()
{
    const ListIndex Index = m_lists.CurrentList();
    MessageListModel &list = m_lists.lsvMsgList(Index);
    Database *db = m_database();
    if (!m_commands.showsMessages(Index) || !db)
        return;
    // The messages are those selected when the question is asked; a run may refill the lists
    // while it is open, so rows are looked up again by key afterwards.
    const QList<int> rows = list.SelectedRows();
    if (rows.isEmpty())
        return;
    QList<CMessage::KeyParts> targets;
    QStringList keys;
    targets.reserve(rows.size());
    keys.reserve(rows.size());
    for (int row : rows) {
        const CMessage &msg = list.Message(row);
        targets.append({msg.BBS_ID, msg.ID});
        keys.append(msg.Key());
    }
    if (prompter().ask(Prompter::Icon::Question, u"削除の確認 - "_s + mdlApp::GetAppTitle(),
                       u"このメッセージを削除してもよろしいですか？"_s, {Prompter::Yes, Prompter::No}, Prompter::No)
        != Prompter::Yes)
        return;
    QSet<QString> unread; // the keys whose rows show them unread now
    for (const CMessage::KeyParts &target : std::as_const(targets)) {
        const int row = list.RowOf(target.BBS_ID, target.ID);
        if (row >= 0 && list.ReadMarkOf(row) == MessageListModel::ReadMark::Unread)
            unread.insert(CMessage::MakeKey(target.BBS_ID, target.ID));
    }
    mdlRead::StopReadTimer(m_lists);
    const std::optional<QList<CMessage::KeyParts>> deleted = MessageRepository(*db).Delete(targets);
    if (!deleted) {
        reportFailure(u"メッセージを削除できませんでした。どのメッセージも削除されていません。\n"_s
                      + u"ディスクの空きと、ほかにTesseraを使っているプログラムがないかを確かめてから、"_s
                      + u"もう一度実行してください。"_s);
        return;
    }
    // A deleted unread message counts as read: the rows left showing it and the counters follow.
    for (const CMessage::KeyParts &target : std::as_const(targets)) {
        if (unread.contains(CMessage::MakeKey(target.BBS_ID, target.ID)))
            mdlRead::SetReadRows(m_lists, target.BBS_ID, target.ID, true);
    }
    QMap<int, int> unreadGone;
    for (const CMessage::KeyParts &gone : *deleted) {
        if (unread.contains(CMessage::MakeKey(gone.BBS_ID, gone.ID)))
            ++unreadGone[gone.BBS_ID];
    }
    for (auto it = unreadGone.cbegin(); it != unreadGone.cend(); ++it)
        m_commands.updateBoardCaption(it.key(), -it.value());
    // The rows go without another row being shown in their place.
    m_commands.withoutShowing([&] {
        list.selectionModel()->clear();
        list.RemoveKeys(keys);
        if (Index == ResultList)
            m_lists.lsvMsgList(BoardList).RemoveKeys(keys);
    });
    m_commands.clearShownMessage();
    mdlRead::ShowUnreadCount(m_lists, Index);
}

/** Selects every row of the current list, or (@p invert) inverts every row's selection. */
void MessageCommands::selectEveryRow(bool invert)
{
    QTreeView *view = m_widgets.lists.at(size_t(m_lists.CurrentList()));
    const QAbstractItemModel *model = view->model();
    if (model->rowCount() == 0)
        return;
    const QItemSelection all(model->index(0, 0), model->index(model->rowCount() - 1, 0));
    view->selectionModel()->select(
        all, (invert ? QItemSelectionModel::Toggle : QItemSelectionModel::Select) | QItemSelectionModel::Rows);
}

void MessageCommands::openSelectedRowAddress(bool mail)
{
    const ListIndex Index = m_lists.CurrentList();
    const int row = m_commands.selectedRow(Index);
    if (!m_commands.showsMessages(Index) || row < 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    if (mail)
        mdlExecuteLite::OpenAddress(u"mailto:"_s + list.CellText(row, MessageListModel::ColMail));
    else
        mdlExecuteLite::OpenAddress(list.CellText(row, MessageListModel::ColHomePage));
}

void MessageCommands::ReplyHitokoto(int Side)
{
    Database *db = m_database();
    const std::optional<int> board = db ? BoardRepository(*db).FirstBoardOfType(Side) : std::nullopt;
    if (!board) {
        prompter().information(u"ひとことに返信できませんでした。"_s);
        return;
    }
    m_commands.newMessage(*board);
}

void MessageCommands::relateSelected()
{
    const ListIndex Index = m_lists.CurrentList();
    const int row = m_commands.selectedRow(Index);
    if (!m_commands.showsMessages(Index) || row < 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    RelateSearch(list.Message(row).BBS_ID, u"#"_s + list.CellText(row, MessageListModel::ColID));
}

void MessageCommands::RelateSearch(int BBS_ID, const QString &Text)
{
    const auto [boardPart, numberPart] = splitRelateText(Text.trimmed());
    bool ok = false;
    const int number = numberPart.toInt(&ok);
    if (!ok) {
        prompter().information(u"関連検索のできる文字列ではありませんでした。"_s);
        return;
    }
    int board = BBS_ID;
    if (Database *db = m_database(); db && !boardPart.isEmpty())
        board = BoardRepository(*db).FindByName(boardPart).value_or(BBS_ID);
    if (!m_commands.showSQLResult(threadStatement(board, number), ResultList))
        return;
    m_commands.resetColumnHeaders(ResultList, false);
    m_commands.showThread(ResultList);
    m_widgets.lists[ResultList]->selectionModel()->clearSelection();
    if (const int row = m_lists.lsvMsgList(ResultList).RowOf(board, number); row >= 0)
        m_commands.showMessage(ResultList, row);
}

bool MessageCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        // The Menu key reaches the list that has the focus.
        if (static_cast<QContextMenuEvent *>(event)->reason() != QContextMenuEvent::Keyboard)
            return false;
        for (ListIndex Index : {BoardList, ResultList}) {
            if (watched == m_widgets.lists.at(size_t(Index))) {
                ShowListPopupOverCurrentRow(Index);
                return true;
            }
        }
        return false;
    }
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::RightButton)
        return false;
    for (ListIndex Index : {BoardList, ResultList}) {
        // The list sees the release too, so its own mouse handling ends as usual.
        if (watched == m_widgets.lists.at(size_t(Index))->viewport())
            showListPopup(Index, mouse->position().toPoint());
    }
    return false;
}

void MessageCommands::ShowListPopupOverCurrentRow(ListIndex Index)
{
    if (m_widgets.lists.at(size_t(Index))->currentIndex().isValid())
        showListPopup(Index, currentRowCentre(Index));
}

void MessageCommands::ShowMarkMenuOverCurrentRow(ListIndex Index)
{
    LoadMarkMenu();
    const QWidget *viewport = m_widgets.lists.at(size_t(Index))->viewport();
    m_widgets.markMenu->popup(viewport->mapToGlobal(currentRowCentre(Index)));
}

/** The centre of the current row's first cell in list @p Index, brought into view; (0, 0) without one. */
QPoint MessageCommands::currentRowCentre(ListIndex Index) const
{
    QTreeView *view = m_widgets.lists.at(size_t(Index));
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return {};
    view->scrollTo(current);
    return view->visualRect(current).center();
}

/**
 * The pop-up over point @p pos of list @p Index: the row there is shown (a right click inside
 * a selection of several rows keeps that selection), the enabling runs and the menu opens. No
 * pop-up over an empty area or over the rows of another query.
 */
void MessageCommands::showListPopup(ListIndex Index, const QPoint &pos)
{
    if (Index != m_lists.CurrentList() || !m_commands.showsMessages(Index))
        return;
    QTreeView *view = m_widgets.lists.at(size_t(Index));
    const QModelIndex under = view->indexAt(pos);
    if (!under.isValid())
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const QList<int> selected = list.SelectedRows();
    const bool withinSelection = selected.size() > 1 && selected.contains(under.row());
    const bool shownAlone = selected == QList<int>{under.row()} && list.Key(under.row()) == m_commands.shownKey();
    if (!withinSelection && !shownAlone) {
        view->selectionModel()->clearSelection();
        m_commands.showMessage(Index, under.row());
    }
    UpdateMessageMenu();
    followMessageMenu();
    m_widgets.popupMenu->popup(view->viewport()->mapToGlobal(pos));
}

/**
 * Adds an NG rule from the selected message: its poster on its board, or the text selected in
 * the body pane on every board (a text is unwanted wherever it is posted).
 */
void MessageCommands::addNgRule(bool poster)
{
    const ListIndex Index = m_lists.CurrentList();
    const int row = m_commands.selectedRow(Index);
    Database *db = m_database();
    if (!db || row < 0 || !m_commands.showsMessages(Index))
        return;
    const CMessage &message = m_lists.lsvMsgList(Index).Message(row);
    NgRule rule;
    if (poster) {
        rule = posterRule(message.PostName, message.BBS_ID);
    } else {
        rule.Field = NgField::Any;
        rule.Pattern = m_commands.selectedBodyText().trimmed();
    }
    if (NgRuleEditing::AddRule(*db, rule))
        m_commands.ngRulesChanged();
}

/** The selected あぼーん row shows its original texts, in the list and in the body pane. */
void MessageCommands::revealSelected()
{
    const ListIndex Index = m_lists.CurrentList();
    const int row = m_commands.selectedRow(Index);
    if (row < 0 || !m_commands.showsMessages(Index))
        return;
    m_lists.lsvMsgList(Index).SetRevealed(row, true);
    m_commands.showMessage(Index, row);
}

/** The pop-up's items take the enabling and captions of their twins in the menu bar. */
void MessageCommands::followMessageMenu()
{
    const auto follow = [this](const QString &name, const QString &twin) {
        m_menuItems.value(name)->setEnabled(m_menuItems.value(twin)->isEnabled());
    };
    for (const QString &name : {u"mnuPopupReply"_s, u"mnuPopupReplyHitokoto(1)"_s, u"mnuPopupReplyHitokoto(2)"_s})
        follow(name, u"mnuBBSReply"_s);
    follow(u"mnuPopupMail"_s, u"mnuMsgMail"_s);
    follow(u"mnuPopupHomepage"_s, u"mnuMsgHomePage"_s);
    follow(u"mnuPopupNoRead"_s, u"mnuMsgNoRead"_s);
    follow(u"mnuPopupRead"_s, u"mnuMsgRead"_s);
    follow(u"mnuPopupDelete"_s, u"mnuMsgDelete"_s);
    follow(u"mnuPopupInReplyTo"_s, u"mnuMoveInReplyTo"_s);
    follow(u"mnuPopupRelate"_s, u"mnuMsgRelate"_s);
    m_menuItems.value(u"mnuPopupMail"_s)->setText(m_menuItems.value(u"mnuMsgMail"_s)->text());
    m_menuItems.value(u"mnuPopupHomepage"_s)->setText(m_menuItems.value(u"mnuMsgHomePage"_s)->text());
}
