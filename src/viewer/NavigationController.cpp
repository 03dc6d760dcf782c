#include "viewer/NavigationController.h"

#include "app/Prompter.h"
#include "controls/uSpinButton.h"
#include "db/CBBSProperty.h"
#include "models/MessageLists.h"
#include "models/mdlRead.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTreeView>
#include <limits>

using namespace Qt::StringLiterals;

NavigationController::NavigationController(MessageLists &lists, CBBSProperty &current, Widgets widgets,
                                           Commands commands)
    : m_lists(lists), m_current(current), m_widgets(widgets), m_commands(std::move(commands))
{
    uSpinButton *editor = m_widgets.noReadPointEditor;
    editor->setMin(0);
    editor->setMax(std::numeric_limits<int>::max());
    if (auto *text = editor->findChild<QLineEdit *>())
        text->installEventFilter(this);
    m_widgets.noReadPointPanel->installEventFilter(this);
}

void NavigationController::MoveNextMessage(ListIndex Index, MoveMode mode, bool PageFirst)
{
    move(Index, mode, PageFirst, true);
}

void NavigationController::MovePrevMessage(ListIndex Index, MoveMode mode, bool PageFirst)
{
    move(Index, mode, PageFirst, false);
}

QAbstractItemModel *NavigationController::listModel(ListIndex Index) const
{
    return m_widgets.lists.at(size_t(Index))->model();
}

/** False while list @p Index holds the rows of another query. */
bool NavigationController::showsMessages(ListIndex Index) const
{
    return listModel(Index) == &m_lists.lsvMsgList(Index);
}

void NavigationController::move(ListIndex Index, MoveMode mode, bool PageFirst, bool forward)
{
    if (listModel(Index)->rowCount() == 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int selected = m_commands.selectedRow(Index);
    // Unread mode: the message being left counts as read; other moves leave it as it is.
    if (mode == MoveMode::Unread && showsMessages(Index) && selected >= 0
        && list.ReadMarkOf(selected) == MessageListModel::ReadMark::Unread)
        mdlRead::MarkRead(m_lists);
    else
        mdlRead::StopReadTimer(m_lists);
    if (PageFirst && pageBody(forward))
        return;
    const int target = moveTarget(Index, mode, forward);
    if (target < 0)
        return;
    m_widgets.lists.at(size_t(Index))->selectionModel()->clearSelection();
    m_commands.showMessage(Index, target);
    m_history.FromHistory = false;
}

/** The row (0-based) a move goes to, or -1; a history step moves the history's slot. */
int NavigationController::moveTarget(ListIndex Index, MoveMode mode, bool forward)
{
    const int rows = listModel(Index)->rowCount();
    const int selected = m_commands.selectedRow(Index); // -1: none, so a forward move starts at the top
    switch (mode) {
    case MoveMode::History:
        return m_history.Step(forward ? 1 : -1, rows) - 1;
    case MoveMode::Row: {
        const int row = forward ? selected + 1 : selected - 1;
        return row >= 0 && row < rows && (forward || selected >= 0) ? row : -1;
    }
    case MoveMode::Unread:
        return showsMessages(Index) ? nextUnreadRow(Index, selected, forward) : -1;
    }
    return -1;
}

/** The nearest unread row after (@p forward) or before row @p from, or -1. */
int NavigationController::nextUnreadRow(ListIndex Index, int from, bool forward) const
{
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int step = forward ? 1 : -1;
    for (int row = from + step; row >= 0 && row < list.rowCount(); row += step) {
        if (list.ReadMarkOf(row) == MessageListModel::ReadMark::Unread)
            return row;
    }
    return -1;
}

/**
 * Pages the body pane by one page with its own key handling (the caret moves along) while it
 * can still scroll that way; true when it paged. An empty body, one that fits the pane and one
 * scrolled to its end cannot page down, so the move goes on at once. Up also pages while the
 * caret is below the top.
 */
bool NavigationController::pageBody(bool down)
{
    QPlainTextEdit *body = m_widgets.body;
    const QScrollBar *bar = body->verticalScrollBar();
    const bool canScroll = down ? bar->value() < bar->maximum()
                                : bar->value() > bar->minimum() || body->textCursor().position() > 0;
    if (!canScroll)
        return false;
    QKeyEvent key(QEvent::KeyPress, down ? Qt::Key_PageDown : Qt::Key_PageUp, Qt::NoModifier);
    QCoreApplication::sendEvent(body, &key);
    return true;
}

void NavigationController::MoveToReplyTarget(ListIndex Index)
{
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int selected = m_commands.selectedRow(Index);
    if (!showsMessages(Index) || selected < 0)
        return;
    const QString replyKey = list.CellText(selected, MessageListModel::ColInReplyTo);
    const int target = replyKey.isEmpty() ? -1 : list.RowOfKey(replyKey);
    if (target < 0)
        return;
    if (list.ReadMarkOf(selected) == MessageListModel::ReadMark::Unread)
        mdlRead::MarkRead(m_lists);
    m_widgets.lists.at(size_t(Index))->selectionModel()->clearSelection();
    m_commands.showMessage(Index, target);
}

bool NavigationController::ReplyTargetEnabled() const
{
    const ListIndex Index = m_lists.CurrentList();
    if (!showsMessages(Index))
        return false;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const QList<int> rows = list.SelectedRows();
    return rows.size() == 1 && list.Message(rows.first()).InReplyTo != 0;
}

void NavigationController::EditNoReadPoint()
{
    if (m_current.ID() == 0)
        return;
    uSpinButton *editor = m_widgets.noReadPointEditor;
    const QLabel *panel = m_widgets.noReadPointPanel;
    editor->setValue(m_current.NoReadPoint());
    editor->setGeometry(panel->x(), 0, panel->width(), editor->height());
    editor->show();
    editor->raise();
    editor->setFocus();
}

bool NavigationController::IsEditingNoReadPoint() const
{
    return !m_widgets.noReadPointEditor->isHidden();
}

void NavigationController::CloseNoReadPointEditor(bool store)
{
    if (!IsEditingNoReadPoint())
        return;
    uSpinButton *editor = m_widgets.noReadPointEditor;
    const int value = editor->Value();
    editor->hide(); // may report the loss of the focus: the editor is hidden by then
    if (store) {
        // The panel shows the stored position, so a refused write would otherwise go unnoticed.
        if (!m_current.SetSettingText(CBBSProperty::NoReadPointSetting, QString::number(value)))
            prompter().warning(u"未読位置を保存できませんでした。\n"_s + m_current.LastError());
        m_commands.showNoReadPoint();
    }
    m_widgets.lists.at(size_t(m_lists.CurrentList()))->setFocus();
}

bool NavigationController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_widgets.noReadPointPanel) {
        if (event->type() == QEvent::MouseButtonRelease && m_commands.canEditNoReadPoint())
            EditNoReadPoint();
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        CloseNoReadPointEditor(false);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            CloseNoReadPointEditor(key != Qt::Key_Escape);
            return true;
        }
    }
    return false;
}
