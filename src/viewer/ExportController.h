#pragma once

#include "transfer/ExportRun.h"

#include <QObject>
#include <QPointer>
#include <functional>

class CBBSProperty;
class Database;
class MessageLists;
class QLabel;
class QProgressDialog;
class QWidget;

/**
 * @short The window's export: the messages shown (all of list 0's board, or list 1's rows)
 * written to the file the user picks, in the shown board's log layout, with a progress dialog
 * that can cancel. The outcome goes to the status bar and to a message.
 */
class ExportController : public QObject
{
    Q_OBJECT

public:
    /** @short What the export reads from the window. */
    struct Sources
    {
        QWidget *window;      ///< parents the file and progress dialogs
        MessageLists &lists;  ///< the lists and which of them is shown
        const CBBSProperty &current; ///< the shown board
        std::function<Database *()> database;
        std::function<int()> listKind; ///< 0 while list 1 holds messages, 1 while it holds other rows
        QLabel *statusPanel;  ///< panel "Status"
    };

    explicit ExportController(Sources sources, QObject *parent = nullptr);

    /** @short Asks for the file and starts the export; nothing while one runs. */
    void Export();
    /** @short Ends a running export before its next batch, quietly, leaving no file (the window closes). */
    void Cancel() { m_run.Cancel(); }

private:
    bool start(const QString &FileName);
    void showProgress();
    void finished(const ExportRun::Result &result);

    Sources m_sources;
    ExportRun m_run;
    QPointer<QProgressDialog> m_progress;
};
