#pragma once

#include "models/ViewTypes.h"

#include <QHash>
#include <QObject>
#include <array>
#include <functional>

class Database;
class MessageLists;
class QAction;
class QMenu;
class QPoint;
class QTreeView;

/**
 * @short The main window's message commands: the message menu's enabling, delete, selection,
 * marks, read state, mail and home page, the one-line reply, the relate search, the NG
 * rules made from a message, and the lists' pop-up menu "mnuPopup" with its mark submenu.
 */
class MessageCommands : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets the commands work on. */
    struct Widgets
    {
        std::array<QTreeView *, 2> lists;
        /** The message menu "mnuMsg", whose enabling rules run before it opens. */
        QMenu *messageMenu;
        /** Its mark submenu "mnuMsgMark", filled here. */
        QMenu *markMenu;
        /** The lists' pop-up "mnuPopup", empty until filled here. */
        QMenu *popupMenu;
    };

    /** @short What the commands ask of the window. */
    struct Commands
    {
        /** True when list @p Index shows message rows (not the rows of another query). */
        std::function<bool(ListIndex Index)> showsMessages;
        /** The selected row of list @p Index, -1 when none. */
        std::function<int(ListIndex Index)> selectedRow;
        /** Selects and shows @p row of list @p Index. */
        std::function<void(ListIndex Index, int row)> showMessage;
        /** The key of the message in the body pane; empty when none. */
        std::function<QString()> shownKey;
        /** Runs @p change, a change of the lists during which no row is shown in the body pane. */
        std::function<void(const std::function<void()> &change)> withoutShowing;
        /** Empties the body pane and hides the addresses of the status bar. */
        std::function<void()> clearShownMessage;
        /** Runs @p SQL into list @p Index; false when it failed or was refused. */
        std::function<bool(const QString &SQL, ListIndex Index)> showSQLResult;
        std::function<void(ListIndex Index, bool KeepIndent)> resetColumnHeaders;
        std::function<void(ListIndex Index)> showThread;
        /** Changes the unread count of board @p BBS_ID in the board menus by @p Delta. */
        std::function<void(int BBS_ID, int Delta)> updateBoardCaption;
        /** Sets a command's own enabled state; a run may still hold the command off. */
        std::function<void(QAction *command, bool enabled)> setCommandEnabled;
        /** Opens the reply form for the selected message. */
        std::function<void()> reply;
        /** Opens the new-message form of board @p BBS_ID. */
        std::function<void(int BBS_ID)> newMessage;
        std::function<void(ListIndex Index)> moveToReplyTarget;
        /** The text selected in the body pane; empty when none. */
        std::function<QString()> selectedBodyText;
        /** NG rules were added: the lists and the board menus follow them. */
        std::function<void()> ngRulesChanged;
    };

    /**
     * Wires the items of the message menu found in @p menuItems (the window's menu items by
     * control name) and fills the pop-up, whose items join @p menuItems. @p database gives the
     * open log database (nullptr: closed).
     */
    MessageCommands(MessageLists &lists, std::function<Database *()> database, QHash<QString, QAction *> &menuItems,
                    Widgets widgets, Commands commands);

    /** @short The message-menu enabling rules, run before the menu, the list pop-up and the keys. */
    void UpdateMessageMenu();
    /** @short Both mark submenus: a hidden item 0, one item per mark of table Mark, then "マーク解除(&R)". */
    void LoadMarkMenu();
    /** @short Shows in list 1 the thread of the message that @p Text names ("board#123"). */
    void RelateSearch(int BBS_ID, const QString &Text);
    /**
     * @short Opens the new-message form of the first board that takes side @p Side's one-line
     * replies (1 left, 2 right); without such a board the user is told.
     */
    void ReplyHitokoto(int Side);
    /** @short The pop-up opened from the keyboard: over the current row, brought into view first. */
    void ShowListPopupOverCurrentRow(ListIndex Index);
    /**
     * @short The mark submenu opened from the keyboard, rebuilt first: over the current row of
     * list @p Index, brought into view first; at the list's top-left corner when no row is current.
     */
    void ShowMarkMenuOverCurrentRow(ListIndex Index);

protected:
    /** Opens the pop-up on a right-button release over either list's rows, or on the Menu key. */
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectMenu();
    void createListPopup();
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption);
    void enable(const QString &name, bool enabled);
    void fillMarkMenu(QMenu *menu, const QString &prefix, int checked);
    void showListPopup(ListIndex Index, const QPoint &pos);
    QPoint currentRowCentre(ListIndex Index) const;
    void followMessageMenu();
    void deleteSelected();
    void selectEveryRow(bool invert);
    void setSelectedMark(int MarkID);
    void setSelectedRead(bool Read);
    void relateSelected();
    void openSelectedRowAddress(bool mail);
    void addNgRule(bool poster);
    void revealSelected();
    void reportFailure(const QString &what);

    MessageLists &m_lists;
    std::function<Database *()> m_database;
    QHash<QString, QAction *> &m_menuItems;
    Widgets m_widgets;
    Commands m_commands;
    QMenu *mnuPopupMark = nullptr;
};
