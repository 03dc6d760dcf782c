#pragma once

#include "models/ViewTypes.h"
#include "viewer/BrowseHistory.h"

#include <QObject>
#include <array>
#include <functional>

class CBBSProperty;
class MessageLists;
class QAbstractItemModel;
class QLabel;
class QPlainTextEdit;
class QTreeView;
class uSpinButton;

/** @short What a move to another row looks for. */
enum class MoveMode : int {
    Row = 0,     ///< the neighbouring row
    Unread = 1,  ///< the nearest unread row; the row left is marked read
    History = 2, ///< a step in the browse history
};

/**
 * @short The main window's moves between rows: next and previous rows, unread rows and history
 * steps, the replied-to message, and the unread-position editor over panel "NoReadPoint".
 */
class NavigationController : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets the moves and the editor work on. */
    struct Widgets
    {
        std::array<QTreeView *, 2> lists;
        QPlainTextEdit *body;
        uSpinButton *noReadPointEditor;
        QLabel *noReadPointPanel;
    };

    /** @short What the moves and the editor ask of the window. */
    struct Commands
    {
        /** Selects and shows @p row of list @p Index. */
        std::function<void(ListIndex Index, int row)> showMessage;
        /** The selected row of list @p Index, -1 when none. */
        std::function<int(ListIndex Index)> selectedRow;
        std::function<void()> showNoReadPoint;
        /** True when the unread position may be edited (the command is not held by a run). */
        std::function<bool()> canEditNoReadPoint;
    };

    /** @p current is the shown board, whose unread position the editor changes. */
    NavigationController(MessageLists &lists, CBBSProperty &current, Widgets widgets, Commands commands);

    /**
     * @short Shows the next row of list @p Index that @p mode looks for. With @p PageFirst the
     * body pane pages down first while it can still scroll.
     */
    void MoveNextMessage(ListIndex Index, MoveMode mode, bool PageFirst);
    /** @short As MoveNextMessage, upwards (history: a step back; paging: page up). */
    void MovePrevMessage(ListIndex Index, MoveMode mode, bool PageFirst);
    /** @short Shows the message the selected one replies to, when list @p Index holds it. */
    void MoveToReplyTarget(ListIndex Index);
    /** @short True when exactly one message row of the current list is selected and it replies to another. */
    bool ReplyTargetEnabled() const;

    /** @short Opens the unread-position editor over panel "NoReadPoint". */
    void EditNoReadPoint();
    /** @short Closes the editor; with @p store its value becomes the board's unread position. */
    void CloseNoReadPointEditor(bool store);
    bool IsEditingNoReadPoint() const;

    BrowseHistory &History() { return m_history; }

protected:
    /** Opens the editor on a click on the panel; closes it on Enter, Escape and the loss of the focus. */
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void move(ListIndex Index, MoveMode mode, bool PageFirst, bool forward);
    int moveTarget(ListIndex Index, MoveMode mode, bool forward);
    int nextUnreadRow(ListIndex Index, int from, bool forward) const;
    bool pageBody(bool down);
    QAbstractItemModel *listModel(ListIndex Index) const;
    bool showsMessages(ListIndex Index) const;
    void leaveSelectedRow(ListIndex Index);

    MessageLists &m_lists;
    CBBSProperty &m_current;
    Widgets m_widgets;
    Commands m_commands;
    BrowseHistory m_history;
};
