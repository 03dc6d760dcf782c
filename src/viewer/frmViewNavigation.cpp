// The main window's navigation: next and previous rows, unread rows and history steps, the
// replied-to message, the move menu and the unread-position editor.
#include "viewer/frmView.h"

#include "controls/uSpinButton.h"
#include "models/mdlRead.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>
#include <limits>

using namespace Qt::StringLiterals;

/**
 * Closes the unread-position editor: Enter stores its value, Escape and the loss of the focus
 * leave the position as it was. Also opens it on a click on panel "NoReadPoint".
 */
class frmView::NoReadPointEditor : public QObject
{
public:
    explicit NoReadPointEditor(frmView *window) : m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window->m_panels.value(u"NoReadPoint"_s)) {
            if (event->type() == QEvent::MouseButtonRelease && m_window->command(u"mnuBBSSetNoRead")->isEnabled())
                m_window->EditNoReadPoint();
            return false;
        }
        if (event->type() == QEvent::FocusOut) {
            m_window->closeNoReadPointEditor(false);
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                m_window->closeNoReadPointEditor(key != Qt::Key_Escape);
                return true;
            }
        }
        return false;
    }

private:
    frmView *m_window;
};

void frmView::createNavigation()
{
    const auto wire = [this](const QString &name, auto &&slot) {
        connect(m_menu.value(name), &QAction::triggered, this, slot);
    };
    wire(u"mnuMovePrevMsg"_s, [this] { MovePrevMessage(m_lists.CurrentList(), 0, false); });
    wire(u"mnuMoveNextMsg"_s, [this] { MoveNextMessage(m_lists.CurrentList(), 0, false); });
    wire(u"mnuMovePrevNoRead"_s, [this] { MovePrevMessage(m_lists.CurrentList(), 1, true); });
    wire(u"mnuMoveNextNoRead"_s, [this] { MoveNextMessage(m_lists.CurrentList(), 1, true); });
    wire(u"mnuMovePrevArchive"_s, [this] { MovePrevMessage(m_lists.CurrentList(), 2, false); });
    wire(u"mnuMoveNextArchive"_s, [this] { MoveNextMessage(m_lists.CurrentList(), 2, false); });
    wire(u"mnuMoveInReplyTo"_s, [this] { MoveToReplyTarget(m_lists.CurrentList()); });
    wire(u"mnuBBSSetNoRead"_s, [this] { EditNoReadPoint(); });
    connect(mnuMsg, &QMenu::aboutToShow, this,
            [this] { setCommandEnabled(m_menu.value(u"mnuMoveInReplyTo"_s), replyTargetEnabled()); });

    m_noReadPointEditor = std::make_unique<NoReadPointEditor>(this);
    QObject *editor = m_noReadPointEditor.get();
    uspnNoReadPoint->setMin(0);
    uspnNoReadPoint->setMax(std::numeric_limits<int>::max());
    if (auto *text = uspnNoReadPoint->findChild<QLineEdit *>())
        text->installEventFilter(editor);
    m_panels.value(u"NoReadPoint"_s)->installEventFilter(editor);
    createKeyMap();
}

void frmView::MoveNextMessage(int Index, int MoveMode, bool PageFirst)
{
    move(Index, MoveMode, PageFirst, true);
}

void frmView::MovePrevMessage(int Index, int MoveMode, bool PageFirst)
{
    move(Index, MoveMode, PageFirst, false);
}

void frmView::move(int Index, int MoveMode, bool PageFirst, bool forward)
{
    const int rows = listModel(Index)->rowCount();
    if (rows == 0)
        return;
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int selected = selectedRow(Index);
    const bool messages = listModel(Index) == &list;
    // Unread mode: the message being left counts as read; other moves leave it as it is.
    if (MoveMode == 1 && messages && selected >= 0 && list.ReadMarkOf(selected) == MessageListModel::ReadMark::Unread)
        mdlRead::SetRead(m_lists, {}, true, true);
    else
        mdlRead::StopReadTimer(m_lists);
    if (PageFirst && pageBody(forward))
        return;
    const int target = moveTarget(Index, MoveMode, forward);
    if (target < 0)
        return;
    m_views.at(size_t(Index))->selectionModel()->clearSelection();
    ShowMessage(Index, target, false);
    m_history.FromHistory = false;
}

/** The row (0-based) a move goes to, or -1; a history step moves the history's slot. */
int frmView::moveTarget(int Index, int MoveMode, bool forward)
{
    const int rows = listModel(Index)->rowCount();
    if (MoveMode == 2) {
        const int p = m_history.Step(forward ? 1 : -1, rows);
        return p - 1;
    }
    const int selected = selectedRow(Index); // -1: none, so a forward move starts at the top
    if (MoveMode == 0) {
        const int row = forward ? selected + 1 : selected - 1;
        return row >= 0 && row < rows && (forward || selected >= 0) ? row : -1;
    }
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    if (listModel(Index) != &list)
        return -1;
    const auto unread = [&list](int row) { return list.ReadMarkOf(row) == MessageListModel::ReadMark::Unread; };
    if (forward) {
        for (int row = selected + 1; row < rows; ++row) {
            if (unread(row))
                return row;
        }
    } else {
        for (int row = selected - 1; row >= 0; --row) {
            if (unread(row))
                return row;
        }
    }
    return -1;
}

/**
 * Pages the body pane by one page with its own key handling (the caret moves along) while it
 * can still scroll that way; true when it paged. An empty body, one that fits the pane and one
 * scrolled to its end cannot page down, so the move goes on at once. Up also pages while the
 * caret is below the top.
 */
bool frmView::pageBody(bool down)
{
    const QScrollBar *bar = rtbView->verticalScrollBar();
    const bool canScroll = down ? bar->value() < bar->maximum()
                                : bar->value() > bar->minimum() || rtbView->textCursor().position() > 0;
    if (!canScroll)
        return false;
    QKeyEvent key(QEvent::KeyPress, down ? Qt::Key_PageDown : Qt::Key_PageUp, Qt::NoModifier);
    QCoreApplication::sendEvent(rtbView, &key);
    return true;
}

void frmView::MoveToReplyTarget(int Index)
{
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int selected = selectedRow(Index);
    if (listModel(Index) != &list || selected < 0)
        return;
    const QString replyKey = list.CellText(selected, MessageListModel::ColInReplyTo);
    const int target = replyKey.isEmpty() ? -1 : list.RowOfKey(replyKey);
    if (target < 0)
        return;
    if (list.ReadMarkOf(selected) == MessageListModel::ReadMark::Unread)
        mdlRead::SetRead(m_lists, {}, true, true);
    m_views.at(size_t(Index))->selectionModel()->clearSelection();
    ShowMessage(Index, target, false);
}

/** True when exactly one message row is selected and it replies to another message. */
bool frmView::replyTargetEnabled() const
{
    const int Index = m_lists.CurrentList();
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    if (listModel(Index) != &list)
        return false;
    const QList<int> rows = list.SelectedRows();
    return rows.size() == 1 && list.Message(rows.first()).InReplyTo != 0;
}

void frmView::EditNoReadPoint()
{
    if (m_current.ID() == 0)
        return;
    const QLabel *panel = m_panels.value(u"NoReadPoint"_s);
    uspnNoReadPoint->setValue(m_current.NoReadPoint());
    uspnNoReadPoint->setGeometry(panel->x(), 0, panel->width(), uspnNoReadPoint->height());
    uspnNoReadPoint->show();
    uspnNoReadPoint->raise();
    uspnNoReadPoint->setFocus();
}

void frmView::closeNoReadPointEditor(bool store)
{
    if (uspnNoReadPoint->isHidden())
        return;
    const int value = uspnNoReadPoint->Value();
    uspnNoReadPoint->hide(); // may report the loss of the focus: the editor is hidden by then
    if (store) {
        m_current.SetNoReadPoint(value);
        ShowNoReadPoint();
    }
    m_views.at(size_t(m_lists.CurrentList()))->setFocus();
}
