#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class Database;
class QAction;
class QMenu;

/**
 * @short The board list of the main window: the listed boards in ListOrder with separator
 * lines for the gaps, their captions with the unread count, their icons, and every menu
 * that shows them (the board drop-down, the board menu, later the tray menus).
 *
 * LoadBBSList reads table BBS once and rebuilds every attached menu from the same entries,
 * so the menus always agree position by position.
 */
class BoardMenus : public QObject
{
    Q_OBJECT

public:
    /** One position of the lists: a board or a separator line. */
    struct Entry
    {
        bool IsSeparator = false;
        int BBS_ID = 0;
        QString Key;  ///< "#" + BBS_ID formatted "000"; empty for a separator
        QString Tag;  ///< the caption without count, or "[区切り線]" for a separator
        QString Text; ///< the caption shown: Tag, or Tag + " (" + unread count + ")"
    };
    /** The tag of a separator entry. */
    static const QString SeparatorTag;

    explicit BoardMenus(QObject *parent = nullptr);

    /** @short "&" + n (0 from the tenth board on) + ". " + @p name with "&" doubled. */
    static QString Caption(int n, const QString &name);

    /**
     * @short Re-reads the listed boards (ListOrder >= 0) from @p db, their icons and unread
     * counts, and rebuilds every attached menu. True when at least one board is listed.
     */
    bool LoadBBSList(Database &db);
    const QList<Entry> &Entries() const { return m_entries; }
    /** @short The entry position of key "#" + BBS_ID formatted "000", or -1. */
    int IndexOfKey(const QString &key) const;
    static QString KeyOf(int BBS_ID);
    /** @short The board images by key "#" + BBS_ID (the board's icon or the default image). */
    const QHash<QString, QIcon> &Icons() const { return m_icons; }
    /** @short The listed boards' names by BBS_ID. */
    const QHash<int, QString> &Names() const { return m_names; }

    /**
     * @short Changes the unread count shown for board @p BBS_ID by @p Delta; with Delta 0,
     * or when no count is shown yet, the count is read from the database.
     */
    void UpdateBBSMenuCaption(int BBS_ID, int Delta);

    /**
     * @short Shows the entries in @p menu from now on: item 0 a hidden "だみー", then one
     * item per entry, named @p itemName + "(" + position + ")". Choosing an item calls
     * @p onChosen with its board. With @p showCounts the items follow the unread counts.
     */
    void AttachMenu(QMenu *menu, const QString &itemName, bool showCounts, std::function<void(int BBS_ID)> onChosen);

signals:
    /** The menus were rebuilt. */
    void Rebuilt();

private:
    struct Attached
    {
        QPointer<QMenu> menu;
        QString itemName;
        bool showCounts;
        std::function<void(int)> onChosen;
    };

    void fillMenu(const Attached &attached);
    static void checkCurrentBoard(QMenu *menu);
    void setEntryText(int position, const QString &text);

    Database *m_db = nullptr;
    QList<Entry> m_entries;
    QHash<QString, QIcon> m_icons;
    QHash<int, QString> m_names;
    QList<Attached> m_menus;
};
