#include "transfer/TextIndexRun.h"

#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/TextIndex.h"

#include <QTimer>
#include <utility>

TextIndexRun::TextIndexRun(std::function<Database *()> database, QObject *parent)
    : QObject(parent), m_database(std::move(database))
{
}

void TextIndexRun::Start(int batch)
{
    m_running = true;
    m_batch = batch;
    if (!std::exchange(m_queued, true))
        QTimer::singleShot(0, this, &TextIndexRun::step);
}

void TextIndexRun::Stop()
{
    if (m_running)
        finish();
}

void TextIndexRun::step()
{
    m_queued = false;
    if (!m_running)
        return;
    Database *db = m_database();
    const std::optional<int> indexed =
        db && mdlOption::UseTextIndex && db->HasTextIndex() ? TextIndex::IndexPending(*db, m_batch) : std::optional<int>(0);
    if (indexed.value_or(0) == 0) {
        finish();
        return;
    }
    Start(m_batch);
    emit Indexed(*indexed);
}

void TextIndexRun::finish()
{
    m_running = false;
    emit Finished();
}
