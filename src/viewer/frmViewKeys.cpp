// The main window's keyboard map. The window sees a key before the control that has the focus;
// apart from Escape the map applies only while the focus is outside the find box and the
// unread-position editor, so typing there is never taken for a command.
#include "viewer/frmView.h"

#include "controls/uSeparator.h"
#include "controls/uSpinButton.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTreeView>

using namespace Qt::StringLiterals;

/** Hands the key events of the window's widgets to handleKey before the widgets get them. */
class frmView::KeyMap : public QObject
{
public:
    explicit KeyMap(frmView *window) : m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != m_window)
            return false;
        QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : widget;
        // The override only claims the key, so a menu shortcut of the same key does not run.
        if (!m_window->handleKey(focus, *static_cast<QKeyEvent *>(event), event->type() == QEvent::KeyPress))
            return false;
        event->accept();
        return true;
    }

private:
    frmView *m_window;
};

void frmView::createKeyMap()
{
    m_keyMap = std::make_unique<KeyMap>(this);
    qApp->installEventFilter(m_keyMap.get());
}

/** Runs menu item @p name when its enabling, refreshed first, allows it. */
void frmView::triggerWhenEnabled(const QString &name)
{
    emit mnuMsg->aboutToShow();
    if (QAction *item = m_menu.value(name); item && item->isEnabled())
        item->trigger();
}

/** True when @p key belongs to the map (it is then consumed); with @p run its command runs. */
bool frmView::handleKey(QWidget *focus, const QKeyEvent &key, bool run)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int Index = m_lists.CurrentList();
    if (key.key() == Qt::Key_Escape && mods == Qt::NoModifier) {
        if (!run)
            return true;
        // The editor is closed first: it holds the focus, so the key was meant for it.
        if (!uspnNoReadPoint->isHidden())
            closeNoReadPointEditor(false);
        else if (Index == 1)
            ChangeList(0);
        else
            showMinimized();
        return true;
    }
    const auto within = [focus](QWidget *control) { return focus == control || control->isAncestorOf(focus); };
    if (within(cmbFindText) || within(uspnNoReadPoint))
        return false;

    std::function<void()> command;
    switch (key.key()) {
    case Qt::Key_Delete:
        if (mods == Qt::NoModifier)
            command = [this] { triggerWhenEnabled(u"mnuMsgDelete"_s); };
        break;
    case Qt::Key_F4:
    case Qt::Key_L:
        if (mods == (key.key() == Qt::Key_F4 ? Qt::NoModifier : Qt::ControlModifier))
            command = [this] { mnuBBSMove->popup(sep->mapToGlobal(QPoint(0, 0))); };
        break;
    case Qt::Key_F8:
        if (mods == Qt::AltModifier)
            command = [this] { triggerWhenEnabled(u"mnuBBSProperty"_s); };
        break;
    case Qt::Key_Backspace:
        if (mods == Qt::NoModifier)
            command = [this, Index] {
                emit mnuMsg->aboutToShow();
                if (replyTargetEnabled())
                    MoveToReplyTarget(Index);
            };
        break;
    case Qt::Key_B:
        if (mods == Qt::ControlModifier)
            command = [this] { triggerWhenEnabled(u"mnuMsgRead"_s); };
        else if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
            command = [this] { triggerWhenEnabled(u"mnuMsgNoRead"_s); };
        break;
    case Qt::Key_M:
        if (mods == Qt::NoModifier || mods == Qt::ControlModifier)
            command = [this] {
                loadMarkMenu();
                mnuMsgMark->popup(QCursor::pos());
            };
        break;
    case Qt::Key_J:
    case Qt::Key_K:
        if (mods == Qt::NoModifier)
            command = [this, Index, next = key.key() == Qt::Key_J] {
                next ? MoveNextMessage(Index, 0, false) : MovePrevMessage(Index, 0, false);
            };
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (mods == Qt::AltModifier)
            command = [this, Index, next = key.key() == Qt::Key_Right] {
                next ? MoveNextMessage(Index, 2, false) : MovePrevMessage(Index, 2, false);
            };
        break;
    case Qt::Key_F10:
        // The pop-up of the list or the body pane that has the focus, as the Menu key opens it.
        if (mods == Qt::ShiftModifier && within(m_views.at(size_t(Index))))
            command = [this, Index] { showListPopupOverCurrentRow(Index); };
        else if (mods == Qt::ShiftModifier && within(rtbView))
            command = [this] { showTextMenu(rtbView->cursorRect().center()); };
        break;
    case Qt::Key_Space:
        if (mods == Qt::NoModifier) {
            command = [this, Index] { MoveNextMessage(Index, 1, true); };
        } else if (mods == Qt::ShiftModifier) {
            command = [this, Index] {
                MovePrevMessage(Index, 1, true);
                QTextCursor caret = rtbView->textCursor();
                caret.clearSelection();
                rtbView->setTextCursor(caret);
            };
        }
        break;
    default:
        break;
    }
    if (!command)
        return false;
    if (run)
        command();
    return true;
}
