// The message lists' pop-up menu: opened when the right mouse button is released over a row,
// or from the keyboard (the Menu key, Shift+F10) over the current row.
#include "viewer/frmView.h"

#include "viewer/ListController.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>

using namespace Qt::StringLiterals;

/** Opens the pop-up on a right-button release over either list's rows, or on the Menu key. */
class frmView::PopupFilter : public QObject
{
public:
    explicit PopupFilter(frmView *window) : m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ContextMenu)
            return keyboardMenu(watched, static_cast<QContextMenuEvent *>(event));
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        for (int Index : {0, 1}) {
            // The list sees the release too, so its own mouse handling ends as usual.
            if (watched == m_window->m_views.at(size_t(Index))->viewport())
                m_window->showListPopup(Index, mouse->position().toPoint());
        }
        return false;
    }

private:
    /** The Menu key reaches the list that has the focus. */
    bool keyboardMenu(QObject *watched, const QContextMenuEvent *event)
    {
        if (event->reason() != QContextMenuEvent::Keyboard)
            return false;
        for (int Index : {0, 1}) {
            if (watched == m_window->m_views.at(size_t(Index))) {
                m_window->showListPopupOverCurrentRow(Index);
                return true;
            }
        }
        return false;
    }

    frmView *m_window;
};

void frmView::createListPopup()
{
    mnuPopup = findChild<QMenu *>(u"mnuPopup"_s);
    const auto item = [this](const QString &name, const QString &caption, auto &&slot) {
        connect(menuItem(mnuPopup, name, caption), &QAction::triggered, this, slot);
    };
    item(u"mnuPopupReply"_s, u"返信(&R)..."_s, [this] { RunCommand(12); });
    item(u"mnuPopupReplyHitokoto(1)"_s, u"左ひとことで返信(&1)..."_s, [this] { ReplyHitokoto(1); });
    item(u"mnuPopupReplyHitokoto(2)"_s, u"右ひとことで返信(&2)..."_s, [this] { ReplyHitokoto(2); });
    mnuPopup->addSeparator();
    item(u"mnuPopupMail"_s, m_menu.value(u"mnuMsgMail"_s)->text(), [this] { openSelectedRowAddress(true); });
    item(u"mnuPopupHomepage"_s, m_menu.value(u"mnuMsgHomePage"_s)->text(), [this] { openSelectedRowAddress(false); });
    mnuPopup->addSeparator();
    mnuPopupMark = subMenu(mnuPopup, u"mnuPopupMark"_s, u"マーク(&L)"_s);
    item(u"mnuPopupNoRead"_s, u"未読にする(&E)"_s, [this] { setSelectedRead(false); });
    item(u"mnuPopupRead"_s, u"既読にする(&U)"_s, [this] { setSelectedRead(true); });
    item(u"mnuPopupDelete"_s, u"削除(&D)"_s, [this] { deleteSelected(); });
    mnuPopup->addSeparator();
    item(u"mnuPopupInReplyTo"_s, u"レス元へ(&I)"_s, [this] { MoveToReplyTarget(m_lists.CurrentList()); });
    item(u"mnuPopupRelate"_s, u"関連検索(&K)"_s, [this] { relateSelected(); });
    mnuPopup->addSeparator();
    item(u"mnuPopupAllSelect"_s, u"全て選択(&A)"_s, [this] { selectEveryRow(false); });
    item(u"mnuPopupReverseSelect"_s, u"選択範囲反転(&V)"_s, [this] { selectEveryRow(true); });
    loadMarkMenu();

    m_popupFilter = std::make_unique<PopupFilter>(this);
    for (QTreeView *view : m_views) {
        view->installEventFilter(m_popupFilter.get());
        view->viewport()->installEventFilter(m_popupFilter.get());
    }
}

/** The pop-up opened from the keyboard: over the current row, brought into view first. */
void frmView::showListPopupOverCurrentRow(int Index)
{
    QTreeView *view = m_views.at(size_t(Index));
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return;
    view->scrollTo(current);
    showListPopup(Index, view->visualRect(current).center());
}

/**
 * The pop-up over point @p pos of list @p Index: the row there is shown (a right click inside
 * a selection of several rows keeps that selection), the enabling runs and the menu opens. No
 * pop-up over an empty area or over the rows of another query.
 */
void frmView::showListPopup(int Index, const QPoint &pos)
{
    if (Index != m_lists.CurrentList() || !messageRowsShown(Index))
        return;
    QTreeView *view = m_views.at(size_t(Index));
    const QModelIndex under = view->indexAt(pos);
    if (!under.isValid())
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const QList<int> selected = list.SelectedRows();
    const bool withinSelection = selected.size() > 1 && selected.contains(under.row());
    const bool shownAlone = selected == QList<int>{under.row()} && list.Key(under.row()) == m_listController->ShownKey();
    if (!withinSelection && !shownAlone) {
        view->selectionModel()->clearSelection();
        ShowMessage(Index, under.row(), false);
    }
    UpdateMessageMenu();
    const auto follow = [this](const QString &name, const QString &twin) {
        m_menu.value(name)->setEnabled(m_menu.value(twin)->isEnabled());
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
    m_menu.value(u"mnuPopupMail"_s)->setText(m_menu.value(u"mnuMsgMail"_s)->text());
    m_menu.value(u"mnuPopupHomepage"_s)->setText(m_menu.value(u"mnuMsgHomePage"_s)->text());
    mnuPopup->popup(view->viewport()->mapToGlobal(pos));
}
