#pragma once

#include "transfer/TextIndexRun.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class Database;
class QProgressDialog;
class QWidget;

/**
 * @short The window's indexing of the rows pending for the full-text index: at start with a
 * progress dialog when many rows wait (a first build), after each run, and every minute while
 * the window idles, so that rows another process stored get indexed too.
 */
class TextIndexController : public QObject
{
    Q_OBJECT

public:
    /** @p busy tells whether a run goes on, during which no batch runs. */
    TextIndexController(std::function<Database *()> database, QWidget *window, std::function<bool()> busy);

    /**
     * Indexes the pending rows, with the progress dialog when @p withProgress and at least
     * TextIndex::ProgressFrom rows wait. Does nothing after the reader cancelled the dialog, unless
     * @p withProgress.
     */
    void Start(bool withProgress);
    /** Stops the batches after the current one (a run begins, the window closes). */
    void Stop();
    /**
     * After the options dialog: the index goes or comes with option UseTextIndex (while no
     * other process has the file open); a new one is built with the progress dialog.
     */
    void ApplyOption();
    /** The idle check: starts the batches when no run goes on and no modal dialog is open. */
    void CheckIdle();
    bool IsRunning() const { return m_run.IsRunning(); }

    static constexpr int IdleCheckMs = 60 * 1000;

private:
    void showProgress(qint64 total);
    void indexed(int rows);
    void finished();

    std::function<Database *()> m_database;
    QWidget *m_window;
    std::function<bool()> m_busy;
    TextIndexRun m_run;
    QTimer *m_idleCheck; // a child of the window
    QPointer<QProgressDialog> m_progress;
    qint64 m_done = 0;       // rows indexed since the dialog opened
    bool m_cancelled = false; // the reader cancelled: the rest waits for the next start
};
