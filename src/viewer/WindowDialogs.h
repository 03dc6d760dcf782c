#pragma once

#include <QString>
#include <QStringList>

class Database;
class QWidget;

/**
 * @short The dialogs in which the main window asks for input: the query window and the import
 * and export file dialogs. The window opens them through this interface, so tests answer them the way the
 * Prompter answers questions.
 */
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;

    /**
     * @short The query window over @p owner on @p db with @p DefaultSQL: the statement to run,
     * "" when cancelled.
     */
    virtual QString ShowSQL(Database &db, const QString &DefaultSQL, QWidget *owner) = 0;
    /**
     * @short The import file dialog over @p owner: the files picked, none when cancelled.
     * @p Filter lists entries and patterns alternating, separated by "|".
     */
    virtual QStringList OpenFiles(const QString &Filter, QWidget *owner) = 0;
    /** @short The export file dialog over @p owner proposing @p FileName: the file, "" when cancelled. */
    virtual QString SaveFile(const QString &Filter, const QString &FileName, QWidget *owner) = 0;
};

/** The window's dialogs: the real ones unless others are installed. */
WindowDialogs &windowDialogs();
/** Installs @p dialogs (not owned); nullptr restores the real ones. */
void setWindowDialogs(WindowDialogs *dialogs);
