#pragma once

#include "db/TextIndex.h"

#include <QObject>
#include <functional>

class Database;

/**
 * @short Indexes the rows that wait for the full-text index, one short transaction per turn of
 * the event loop, until none is left, Stop() is called or a batch fails (another process
 * holding the file, a full disk: the rows stay pending for the next run).
 */
class TextIndexRun : public QObject
{
    Q_OBJECT

public:
    /** @p database gives the open log database, or nullptr when there is none. */
    explicit TextIndexRun(std::function<Database *()> database, QObject *parent = nullptr);

    /** Starts the batches of @p batch rows; while they run, only changes the size. */
    void Start(int batch = TextIndex::PendingBatch);
    /** Ends the batches after the current one; Finished follows. */
    void Stop();
    bool IsRunning() const { return m_running; }

signals:
    /** A batch has indexed @p rows rows. */
    void Indexed(int rows);
    /** The batches ended: nothing left, stopped, or failed. */
    void Finished();

private:
    void step();
    void finish();

    std::function<Database *()> m_database;
    bool m_running = false;
    bool m_queued = false; // a step waits in the event loop
    int m_batch = TextIndex::PendingBatch;
};
