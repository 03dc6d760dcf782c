#include "viewer/KeyMap.h"

#include "models/MessageLists.h"
#include "viewer/NavigationController.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

Qt::KeyboardModifiers modifiersOf(const QKeyEvent &key)
{
    return key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

KeyMap::KeyMap(const MessageLists &lists, NavigationController &navigation, const QHash<QString, QAction *> &menuItems,
               Widgets widgets, Commands commands)
    : m_lists(lists),
      m_navigation(navigation),
      m_menuItems(menuItems),
      m_widgets(widgets),
      m_commands(std::move(commands))
{
    qApp->installEventFilter(this);
    showKeysInMenus();
}

/**
 * Shows the map's keys beside the menu items of the same commands. The key is the item's
 * shortcut, active only while the menu bar itself has the focus, and its shortcut event is
 * dropped (eventFilter): the map runs the command, with its own rules, once per key press.
 */
void KeyMap::showKeysInMenus()
{
    const std::pair<QString, QKeySequence> keys[] = {
        {u"mnuBBSMove"_s, Qt::Key_F4},
        {u"mnuMovePrevMsg"_s, Qt::Key_K},
        {u"mnuMoveNextMsg"_s, Qt::Key_J},
        {u"mnuMovePrevNoRead"_s, Qt::SHIFT | Qt::Key_Space},
        {u"mnuMoveNextNoRead"_s, Qt::Key_Space},
        {u"mnuMovePrevArchive"_s, Qt::ALT | Qt::Key_Left},
        {u"mnuMoveNextArchive"_s, Qt::ALT | Qt::Key_Right},
        {u"mnuMoveInReplyTo"_s, Qt::Key_Backspace},
        {u"mnuPopupInReplyTo"_s, Qt::Key_Backspace},
        {u"mnuMsgMark"_s, Qt::Key_M},
        {u"mnuPopupMark"_s, Qt::Key_M},
        {u"mnuMsgNoRead"_s, Qt::CTRL | Qt::SHIFT | Qt::Key_B},
        {u"mnuPopupNoRead"_s, Qt::CTRL | Qt::SHIFT | Qt::Key_B},
        {u"mnuMsgRead"_s, Qt::CTRL | Qt::Key_B},
        {u"mnuPopupRead"_s, Qt::CTRL | Qt::Key_B},
        {u"mnuMsgDelete"_s, Qt::Key_Delete},
        {u"mnuPopupDelete"_s, Qt::Key_Delete},
    };
    for (const auto &[name, key] : keys) {
        if (QAction *item = m_menuItems.value(name)) {
            item->setShortcutContext(Qt::WidgetShortcut);
            item->setShortcut(key);
            m_shownKeys.append(item);
        }
    }
}

/**
 * Hands the key events of the window's widgets to handleKey before the widgets get them, and
 * drops the shortcut events of the keys shown in the menus.
 */
bool KeyMap::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Shortcut)
        return m_shownKeys.contains(watched);
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_widgets.window)
        return false;
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : widget;
    // The override only claims the key, so a menu shortcut of the same key does not run.
    if (!handleKey(focus, *static_cast<QKeyEvent *>(event), event->type() == QEvent::KeyPress))
        return false;
    event->accept();
    return true;
}

bool KeyMap::handleKey(QWidget *focus, const QKeyEvent &key, bool run)
{
    const bool plainEscape = key.key() == Qt::Key_Escape && modifiersOf(key) == Qt::NoModifier;
    const std::function<void()> command = plainEscape ? [this] { escape(); } : commandOf(focus, key);
    if (!command)
        return false;
    if (run)
        command();
    return true;
}

void KeyMap::escape()
{
    // The editor is closed first: it holds the focus, so the key was meant for it.
    if (m_navigation.IsEditingNoReadPoint())
        m_navigation.CloseNoReadPointEditor(false);
    else if (m_lists.CurrentList() == ResultList)
        m_commands.returnToBoardList();
    else
        m_widgets.window->showMinimized();
}

/** Runs menu item @p name when its enabling, refreshed first, allows it. */
void KeyMap::triggerWhenEnabled(const QString &name)
{
    emit m_widgets.messageMenu->aboutToShow();
    if (QAction *item = m_menuItems.value(name); item && item->isEnabled())
        item->trigger();
}

/** The command of @p key with the focus on @p focus; none for keys outside the map. */
std::function<void()> KeyMap::commandOf(QWidget *focus, const QKeyEvent &key)
{
    const auto within = [focus](QWidget *control) { return focus == control || control->isAncestorOf(focus); };
    if (within(m_widgets.findText) || within(m_widgets.noReadPointEditor))
        return {};
    const Qt::KeyboardModifiers mods = modifiersOf(key);
    const ListIndex Index = m_lists.CurrentList();
    switch (key.key()) {
    case Qt::Key_Delete:
        if (mods == Qt::NoModifier)
            return [this] { triggerWhenEnabled(u"mnuMsgDelete"_s); };
        break;
    case Qt::Key_F4:
    case Qt::Key_L:
        if (mods == (key.key() == Qt::Key_F4 ? Qt::NoModifier : Qt::ControlModifier))
            return m_commands.popupBoardMenu;
        break;
    case Qt::Key_F8:
        if (mods == Qt::AltModifier)
            return [this] { triggerWhenEnabled(u"mnuBBSProperty"_s); };
        break;
    case Qt::Key_Backspace:
        if (mods == Qt::NoModifier)
            return [this, Index] {
                emit m_widgets.messageMenu->aboutToShow();
                if (m_navigation.ReplyTargetEnabled())
                    m_navigation.MoveToReplyTarget(Index);
            };
        break;
    case Qt::Key_B:
        if (mods == Qt::ControlModifier)
            return [this] { triggerWhenEnabled(u"mnuMsgRead"_s); };
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
            return [this] { triggerWhenEnabled(u"mnuMsgNoRead"_s); };
        break;
    case Qt::Key_M:
        if (mods == Qt::NoModifier || mods == Qt::ControlModifier)
            return m_commands.popupMarkMenu;
        break;
    case Qt::Key_J:
    case Qt::Key_K:
        if (mods == Qt::NoModifier)
            return [this, Index, next = key.key() == Qt::Key_J] {
                next ? m_navigation.MoveNextMessage(Index, MoveMode::Row, false)
                     : m_navigation.MovePrevMessage(Index, MoveMode::Row, false);
            };
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (mods == Qt::AltModifier)
            return [this, Index, next = key.key() == Qt::Key_Right] {
                next ? m_navigation.MoveNextMessage(Index, MoveMode::History, false)
                     : m_navigation.MovePrevMessage(Index, MoveMode::History, false);
            };
        break;
    case Qt::Key_F10:
        // The pop-up of the list or the body pane that has the focus, as the Menu key opens it.
        if (mods == Qt::ShiftModifier && within(m_widgets.lists.at(size_t(Index))))
            return [this, Index] { m_commands.popupListMenu(Index); };
        if (mods == Qt::ShiftModifier && within(m_widgets.body))
            return m_commands.popupTextMenu;
        break;
    case Qt::Key_Space:
        if (mods == Qt::NoModifier)
            return [this, Index] { m_navigation.MoveNextMessage(Index, MoveMode::Unread, true); };
        if (mods == Qt::ShiftModifier)
            return [this, Index] {
                m_navigation.MovePrevMessage(Index, MoveMode::Unread, true);
                QTextCursor caret = m_widgets.body->textCursor();
                caret.clearSelection();
                m_widgets.body->setTextCursor(caret);
            };
        break;
    default:
        break;
    }
    return {};
}
