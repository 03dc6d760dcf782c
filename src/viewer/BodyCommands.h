#pragma once

#include "models/ViewTypes.h"

#include <QHash>
#include <QObject>
#include <array>
#include <functional>

class CBBSProperty;
class MessageLists;
class QAction;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QPoint;
class QTreeView;

/**
 * @short The body pane's pop-up menu "mnuText" over a selection: body search, relate search,
 * opening an address, the web searches of section "WebSearch", copy and copy with a
 * quotation header.
 */
class BodyCommands : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets the commands work on. */
    struct Widgets
    {
        QPlainTextEdit *body;
        /** The pop-up "mnuText", empty until filled here. */
        QMenu *textMenu;
        /** The find box, which takes the text of a body search. */
        QComboBox *findText;
        std::array<QTreeView *, 2> lists;
    };

    /** @short What the commands ask of the window. */
    struct Commands
    {
        /** The selected row of list @p Index, -1 when none. */
        std::function<int(ListIndex Index)> selectedRow;
        std::function<void(int BBS_ID, const QString &Text)> relateSearch;
        /** Opens the query window with a query for @p Text in the bodies of board @p BBS_ID. */
        std::function<void(int BBS_ID, const QString &Text)> searchBodies;
    };

    /**
     * Fills the pop-up; its items join @p menuItems (the window's menu items by control name).
     * @p current is the shown board, named by the quotation header.
     */
    BodyCommands(const MessageLists &lists, const CBBSProperty &current, QHash<QString, QAction *> &menuItems,
                 Widgets widgets, Commands commands);

    /** @short Opens the pop-up at @p at of the pane, when the pane has a selection. */
    void ShowTextMenu(const QPoint &at);

private:
    QAction *addItem(const QString &name, const QString &caption);
    QString selectedBodyText() const;
    void loadWebSearchMenu();
    void bodySearch();
    void openSelectedBodyAddress();
    void copyWithHeader();

    const MessageLists &m_lists;
    const CBBSProperty &m_current;
    QHash<QString, QAction *> &m_menuItems;
    Widgets m_widgets;
    Commands m_commands;
    QAction *m_webSearchSeparator = nullptr;
    QList<QAction *> m_webSearchItems; // mnuTextWebSearch(0), (1), ... from section "WebSearch"
};
