// The main window's message commands: the message menu's enabling, delete, selection, marks,
// read state, mail and home page, the one-line reply and the relate search.
#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "controls/uClickableLabel.h"
#include "db/BoardRepository.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
#include "viewer/ListController.h"
#include "models/mdlMark.h"
#include "models/mdlRead.h"

#include <QMap>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSet>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

/** Tells the user that @p what failed, with the reason @p db gives when there is one. */
void reportFailure(const QString &what, const Database *db)
{
    QString text = what;
    if (db && !db->LastError().description.isEmpty())
        text += u"\n\n"_s + db->LastError().description;
    prompter().critical(text);
}

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

/** The whole thread of message @p ID of board @p BBS_ID. */
QString threadStatement(int BBS_ID, int ID)
{
    const QString board = QString::number(BBS_ID);
    return u"SELECT *"_s + u"  FROM Message"_s + u" WHERE RootThread = "_s + u"  (SELECT RootThread"_s
        + u"     FROM Message"_s + u"    WHERE BBS_ID = "_s + board + u"     AND ID     = "_s + QString::number(ID)
        + u"  )"_s + u" AND BBS_ID = "_s + board;
}

} // namespace

void frmView::connectMessageCommands()
{
    const auto wire = [this](const QString &name, auto &&slot) {
        connect(m_menu.value(name), &QAction::triggered, this, slot);
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
    connect(mnuMsg, &QMenu::aboutToShow, this, &frmView::UpdateMessageMenu);
    createListPopup();
}

/** True when list @p Index shows message rows (not the rows of another query). */
bool frmView::messageRowsShown(int Index) const
{
    return ListKind() == 0 && listModel(Index) == &m_lists.lsvMsgList(Index);
}

void frmView::UpdateMessageMenu()
{
    loadMarkMenu();
    const int Index = m_lists.CurrentList();
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const QList<int> rows = messageRowsShown(Index) ? list.SelectedRows() : QList<int>();
    const int row = rows.isEmpty() ? -1 : selectedRow(Index);
    const bool several = rows.size() > 1;
    const bool one = rows.size() == 1;
    const auto enable = [this](const QString &name, bool enabled) { setCommandEnabled(m_menu.value(name), enabled); };
    enable(u"mnuMsgDelete"_s, row >= 0);
    enable(u"mnuMsgRead"_s, several || (one && !mdlRead::IsReadItem(list, row)));
    enable(u"mnuMsgNoRead"_s, several || (one && mdlRead::IsReadItem(list, row)));
    enable(u"mnuMsgMail"_s, row >= 0 && !list.CellText(row, MessageListModel::ColMail).isEmpty());
    enable(u"mnuMsgHomePage"_s, row >= 0 && !list.CellText(row, MessageListModel::ColHomePage).isEmpty());
    enable(u"mnuMoveInReplyTo"_s, one && list.Message(rows.first()).InReplyTo != 0);
    enable(u"mnuMsgRelate"_s, row >= 0 && !IsRunning());
}

/** Both mark submenus: a hidden item 0, one item per mark of table Mark, then "マーク解除(&R)". */
void frmView::loadMarkMenu()
{
    if (Database *db = database())
        mdlMark::LoadMarkMenu(*db);
    const int checked = mdlMark::GetSelectedMark(m_lists);
    fillMarkMenu(mnuMsgMark, u"mnuMsg"_s, checked);
    if (mnuPopupMark)
        fillMarkMenu(mnuPopupMark, u"mnuPopup"_s, checked);
}

/** Rebuilds @p menu's items (named @p prefix + "MarkSub(i)"), the item of mark @p checked checked. */
void frmView::fillMarkMenu(QMenu *menu, const QString &prefix, int checked)
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

void frmView::setSelectedMark(int MarkID)
{
    if (messageRowsShown(m_lists.CurrentList()) && !mdlMark::SetSelectedMark(m_lists, MarkID))
        reportFailure(u"マークを変更できなかったメッセージがあります。"_s, database());
}

void frmView::setSelectedRead(bool Read)
{
    const int Index = m_lists.CurrentList();
    if (messageRowsShown(Index) && !mdlRead::SetSelectedRead(m_lists, Index, Read))
        reportFailure(Read ? u"既読にできなかったメッセージがあります。"_s : u"未読にできなかったメッセージがあります。"_s,
                      database());
}

/**
 * Deletes the selected messages of the current list after asking. The database goes first, in
 * one transaction: when it fails, every row stays as it was and the user is told.
 */
void frmView::deleteSelected()
{
    const int Index = m_lists.CurrentList();
    MessageListModel &list = m_lists.lsvMsgList(Index);
    Database *db = database();
    if (!messageRowsShown(Index) || !db)
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
                          + u"もう一度実行してください。"_s,
                      db);
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
        UpdateBBSMenuCaption(it.key(), -it.value());
    {
        // The rows go without another row being shown in their place.
        const auto quiet = m_listController->HoldRowChanges();
        list.selectionModel()->clear();
        list.RemoveKeys(keys);
        if (Index == 1)
            m_lists.lsvMsgList(0).RemoveKeys(keys);
    }
    m_listController->ClearShownMessage();
    uclMailto->hide(); // the addresses of a message no longer shown
    uclHomepage->hide();
    mdlRead::ShowUnreadCount(m_lists, Index);
}

/** Selects every row of the current list, or (@p invert) inverts every row's selection. */
void frmView::selectEveryRow(bool invert)
{
    const int Index = m_lists.CurrentList();
    const QAbstractItemModel *model = listModel(Index);
    if (model->rowCount() == 0)
        return;
    const QItemSelection all(model->index(0, 0), model->index(model->rowCount() - 1, 0));
    m_views.at(size_t(Index))->selectionModel()->select(
        all, (invert ? QItemSelectionModel::Toggle : QItemSelectionModel::Select) | QItemSelectionModel::Rows);
}

void frmView::openSelectedRowAddress(bool mail)
{
    const int Index = m_lists.CurrentList();
    const int row = selectedRow(Index);
    if (!messageRowsShown(Index) || row < 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    if (mail)
        mdlExecuteLite::ShellOpen(u"mailto:"_s + list.CellText(row, MessageListModel::ColMail));
    else
        mdlExecuteLite::ShellOpen(list.CellText(row, MessageListModel::ColHomePage));
}

void frmView::ReplyHitokoto(int Side)
{
    Database *db = database();
    const std::optional<int> board = db ? BoardRepository(*db).FirstBoardOfType(Side) : std::nullopt;
    if (!board) {
        prompter().information(u"ひとことに返信できませんでした。"_s);
        return;
    }
    CMessage msg;
    msg.BBS_ID = *board;
    m_cbbs.Send(msg, false);
}

void frmView::relateSelected()
{
    const int Index = m_lists.CurrentList();
    const int row = selectedRow(Index);
    if (!messageRowsShown(Index) || row < 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    RelateSearch(list.Message(row).BBS_ID, u"#"_s + list.CellText(row, MessageListModel::ColID));
}

void frmView::RelateSearch(int BBS_ID, const QString &Text)
{
    const auto [boardPart, numberPart] = splitRelateText(Text.trimmed());
    bool ok = false;
    const int number = numberPart.toInt(&ok);
    if (!ok) {
        prompter().information(u"関連検索のできる文字列ではありませんでした。"_s);
        return;
    }
    int board = BBS_ID;
    if (Database *db = database(); db && !boardPart.isEmpty())
        board = BoardRepository(*db).FindByName(boardPart).value_or(BBS_ID);
    if (!ShowSQLResult(threadStatement(board, number), 1))
        return;
    ResetColumnHeaders(1, false);
    ShowThread(1);
    m_views[1]->selectionModel()->clearSelection();
    if (const int row = m_lists.lsvMsgList(1).RowOf(board, number); row >= 0)
        ShowMessage(1, row, false);
}
