#pragma once

#include "models/ViewTypes.h"

#include <QHash>
#include <QObject>
#include <array>
#include <functional>

class MessageLists;
class NavigationController;
class QAction;
class QComboBox;
class QKeyEvent;
class QMenu;
class QPlainTextEdit;
class QTreeView;
class QWidget;

/**
 * @short The main window's keyboard map. The window sees a key before the control that has the
 * focus; apart from Escape the map applies only while the focus is outside the find box and the
 * unread-position editor, so typing there is never taken for a command. The menus show the
 * map's keys beside their items; the map alone runs them.
 */
class KeyMap : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets that keys depend on. */
    struct Widgets
    {
        QWidget *window;
        std::array<QTreeView *, 2> lists;
        QPlainTextEdit *body;
        QComboBox *findText;
        QWidget *noReadPointEditor;
        /** The message menu, whose enabling rules run before a key runs one of its commands. */
        QMenu *messageMenu;
    };

    /** @short The window's commands that keys run. */
    struct Commands
    {
        std::function<void()> returnToBoardList;
        std::function<void()> popupBoardMenu;
        std::function<void()> popupMarkMenu;
        std::function<void(ListIndex Index)> popupListMenu;
        std::function<void()> popupTextMenu;
    };

    /**
     * Watches every key of @p widgets.window; @p menuItems are the window's menu items by name,
     * and those the map has a key for show it.
     */
    KeyMap(const MessageLists &lists, NavigationController &navigation, const QHash<QString, QAction *> &menuItems,
           Widgets widgets, Commands commands);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /** True when @p key belongs to the map (it is then consumed); with @p run its command runs. */
    bool handleKey(QWidget *focus, const QKeyEvent &key, bool run);
    std::function<void()> commandOf(QWidget *focus, const QKeyEvent &key);
    void escape();
    void triggerWhenEnabled(const QString &name);
    void showKeysInMenus();

    const MessageLists &m_lists;
    NavigationController &m_navigation;
    const QHash<QString, QAction *> &m_menuItems;
    Widgets m_widgets;
    Commands m_commands;
    QList<QObject *> m_shownKeys; // the menu items that show a key of the map
};
