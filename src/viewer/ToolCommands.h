#pragma once

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>

class CBBSProperty;
class Database;
class QAction;
class QWidget;

/**
 * @short The main window's tool and help commands: database compaction, the help file, the
 * about box, and the board pages opened in the browser.
 */
class ToolCommands : public QObject
{
    Q_OBJECT

public:
    /** @short What compaction asks of the window. */
    struct Commands
    {
        /** True while a load or an import runs: no compaction then. */
        std::function<bool()> isRunning;
        /** Writes the shown board's record and lets go of the database everywhere in the window. */
        std::function<void()> releaseDatabase;
        /** Hands the (re)opened database to everything of the window that keeps it, and shows the board again. */
        std::function<void()> attachDatabase;
    };

    /**
     * Wires the tool and help items found in @p menuItems. @p database holds the open log
     * database, which compaction replaces; @p current is the shown board, whose pages open;
     * the about box opens over @p window, which compaction closes when no database is left.
     */
    ToolCommands(QWidget &window, std::unique_ptr<Database> &database, const CBBSProperty &current,
                 const QHash<QString, QAction *> &menuItems, Commands commands);

    /**
     * @short Compacts log.mdb after asking. A failed compaction keeps the data in the file;
     * when the database can be opened again the program goes on with it, and it ends only
     * when no database is open.
     */
    void CompactDatabase();

private:
    void openHelpFile();
    void showAbout();

    QWidget &m_window;
    std::unique_ptr<Database> &m_database;
    const CBBSProperty &m_current;
    Commands m_commands;
};
