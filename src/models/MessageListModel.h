#pragma once

#include "app/VbDateFormat.h"
#include "db/CMessage.h"
#include "db/NgRule.h"
#include "models/OleColor.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QItemSelectionModel>
#include <QList>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

/**
 * @short One message list of the main window: one row per message, keyed by the message key,
 * with the eleven columns, the row attributes, a selection and a current row.
 *
 * Rows live in list order in one array; a hash from (board, number) to row gives the lookup
 * by key in O(1). Cell texts are made when asked for, so a row holds little more than its
 * message. The view must use selectionModel() (QAbstractItemView::setSelectionModel after
 * setModel); the read and mark operations work on that selection.
 */
class MessageListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column : int {
        ColRead, ColID, ColSubject, ColHomePage, ColMail, ColName, ColDate, ColInReplyTo, ColBody,
        ColParentThread, ColMark,
        ColBBS, ///< the board's name: shown where the rows come from several boards
        ColumnCount
    };
    enum Role : int {
        KeyRole = Qt::UserRole + 1, ///< the row's message key (every cell)
        CellTextRole,               ///< the exact cell text (the body with its line breaks)
        BoardIconKeyRole,           ///< "#" + BBS_ID: the board's image key (every cell)
        ColumnKeyRole,              ///< header: the column's key ("Read", "ID", ...)
        NgRole,                     ///< the row's NgMark as an int (every cell)
    };
    /** @short What the NG rules made of a row: nothing, a hidden row listed by ShowNg, an あぼーん row. */
    enum class NgMark : quint8 { None, Hidden, Abone };
    /** @short The read marker of a row: none yet (just added), "*" or " ". */
    enum class ReadMark : quint8 { None, Unread, Read };

    /** OLE colour of the system window text, the colour of rows without a mark. */
    static constexpr quint32 SystemWindowText = OleColor::SystemWindowText;
    /** Characters of the body column's display text; the whole body stays in CellTextRole. */
    static constexpr int BodyPreviewLength = 200;

    explicit MessageListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    /** Header texts may be changed (sort marks); the column keys stay. */
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    /** Sorts by the cell texts, ignoring case; rows of equal text keep their order. */
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    /** Puts the rows in the opposite order; selection and persistent indexes follow. */
    void ReverseRows();

    // ---- Rows ------------------------------------------------------------------------------
    /** @short Appends a row for @p msg with no read marker yet; -1 when its key is listed. */
    int AddRow(const CMessage &msg);
    /**
     * @short Appends rows for those of @p msgs not listed yet, in one insertion (a view lays
     * them out once); returns the messages added.
     */
    QList<CMessage> AddRows(const QList<CMessage> &msgs);
    /** @short Removes every row and zeroes the unread counter. */
    void Clear();
    /** @short Removes the row of @p key; false when there is none. */
    bool RemoveRow(QStringView key);
    /** @short Removes the rows of @p keys (keys not listed are skipped) in one pass; the count removed. */
    int RemoveKeys(const QStringList &keys);
    /** @short The row of @p key, or -1. */
    int RowOfKey(QStringView key) const;
    /** @short The row of message @p id of board @p bbsId, or -1. */
    int RowOf(int bbsId, int id) const;
    QString Key(int row) const;
    /** @short The message of @p row as it was added, with its current mark and read state. */
    const CMessage &Message(int row) const { return rowAt(row).msg; }
    /**
     * @short The text of a cell, as the list shows it (the body in full); subject, poster and
     * body of an あぼーん row read "あぼーん" unless the row is revealed.
     */
    QString CellText(int row, int column) const;

    // ---- Read state and marks --------------------------------------------------------------
    ReadMark ReadMarkOf(int row) const { return rowAt(row).readMark; }
    /** @short The first column's text: "*" unread, " " read, "" before the first marking. */
    QString ReadText(int row) const;
    /**
     * @short Shows @p row as read or unread (text, bold) and returns the change of the unread
     * counter: -1 when an unread row becomes read, +1 when a row not shown unread becomes
     * unread, else 0.
     */
    int SetReadMark(int row, bool read);
    /** @short Rows shown unread, as counted by SetReadMark (and removal of unread rows). */
    int UnreadCount() const { return m_unreadCount; }
    void ClearUnreadCount() { m_unreadCount = 0; }
    int Mark(int row) const { return rowAt(row).msg.Mark; }
    /** @short The OLE colour of @p row's text (columns 1 to 10). */
    quint32 ForeColor(int row) const { return rowAt(row).foreColor; }
    /** @short Gives @p row the mark @p markId and colours its sub-items with @p foreColor. */
    void SetMark(int row, int markId, quint32 foreColor);

    // ---- Selection -------------------------------------------------------------------------
    QItemSelectionModel *selectionModel() const { return m_selection; }
    /** @short The selected rows in list order. */
    QList<int> SelectedRows() const;
    /** @short The list's selected item: the current row, else the first selected row, else -1. */
    int CurrentRow() const;
    /** @short Makes @p row the only selected row and the current one (-1 clears both). */
    void SelectRow(int row);

    // ---- Presentation ----------------------------------------------------------------------
    /** @short The date format of column "Date", in the DateFormat option's notation. */
    void SetDateFormat(const QString &format);
    /** @short The board images by key ("#" + BBS_ID); a row shows its board's image. */
    void SetBoardIcons(const QHash<QString, QIcon> &icons);
    /** @short The board names by BBS_ID, for column "BBS"; a board without one shows its number. */
    void SetBoardNames(const QHash<int, QString> &names);
    /** @short True when the rows come from more than one board. */
    bool MixesBoards() const;
    /**
     * @short Thread order: roots in ascending ID, every reply right below its parent, replies
     * to one parent newest first; a reply at depth k gets k ideographic spaces before its
     * subject. A reply whose parent is not listed, or is listed with a higher ID, is a root.
     */
    void ShowThread();
    /** @short Removes the thread indentation from every subject. */
    void ClearIndents();
    /** @short The thread depth of @p row (ideographic spaces before its subject). */
    int Indent(int row) const { return rowAt(row).indent; }

    // ---- NG rules --------------------------------------------------------------------------
    /**
     * @short The NG rules of every board. Rows added afterwards are judged by the rules in force
     * for their board: a Hide row is left out (listed, marked Hidden, while ShowNg is on), an
     * Abone row is listed with its texts replaced. Listed rows stay as they are until refilled.
     */
    void SetNgRules(const QList<NgRule> &rules);
    /** @short Lists the rows of Hide rules too ("NGを表示"), from the next rows added on. */
    void SetShowNg(bool on) { m_showNg = on; }
    bool ShowNg() const { return m_showNg; }
    NgMark NgMarkOf(int row) const { return rowAt(row).ng; }
    /** @short Shows the original texts of an あぼーん row, or replaces them again. */
    void SetRevealed(int row, bool revealed);
    bool Revealed(int row) const { return rowAt(row).revealed; }

private:
    struct Row
    {
        CMessage msg;
        quint32 foreColor = SystemWindowText;
        quint16 indent = 0;
        ReadMark readMark = ReadMark::None;
        NgMark ng = NgMark::None;
        bool revealed = false;
    };

    static quint64 hashKey(int bbsId, int id) { return (quint64(quint32(bbsId)) << 32) | quint32(id); }
    QString displayText(const Row &row, int column) const;
    NgMark ngMarkOf(const CMessage &msg);
    bool listed(const Row &row) const { return row.ng != NgMark::Hidden || m_showNg; }
    static bool replaced(const Row &row) { return row.ng == NgMark::Abone && !row.revealed; }
    QString cellText(const Row &row, int column) const;
    void applyOrder(const QList<int> &order);
    const Row &rowAt(int row) const { return *m_rows[size_t(row)]; }
    Row &rowAt(int row) { return *m_rows[size_t(row)]; }
    void updateIndex() const;
    void removeRun(int first, int last);
    void emitRowChanged(int row, const QList<int> &roles);
    const QFont &boldFont() const;

    // Rows are held by pointer, so that removing and reordering move pointers only.
    std::vector<std::unique_ptr<Row>> m_rows;
    // Key -> row, right for the rows below m_indexedRows; removal leaves the rest to the next lookup.
    mutable QHash<quint64, int> m_rowOf;
    mutable int m_indexedRows = 0;
    QStringList m_headers;
    QItemSelectionModel *m_selection;
    VbDateFormat m_dateFormat;
    QHash<QString, QIcon> m_icons;
    QHash<int, QString> m_boardNames;
    mutable std::optional<QFont> m_boldFont;
    int m_unreadCount = 0;
    struct NgVerdict
    {
        NgMark mark;
        size_t lengths; // of the texts matched: a message changed since is matched again
    };
    QList<NgRule> m_ngRules;
    QHash<int, NgMatcher> m_ngMatchers; // by board, made when a row of the board comes
    QHash<quint64, NgVerdict> m_ngVerdicts; // by message: refilling a page matches nothing again
    bool m_showNg = false;
};
