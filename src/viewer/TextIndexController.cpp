#include "viewer/TextIndexController.h"

#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/TextIndex.h"
#include "db/mdlDatabase.h"

#include <QApplication>
#include <QProgressDialog>
#include <utility>

using namespace Qt::StringLiterals;

TextIndexController::TextIndexController(std::function<Database *()> database, QWidget *window,
                                         std::function<bool()> busy)
    : m_database(database),
      m_window(window),
      m_busy(std::move(busy)),
      m_run(std::move(database)),
      m_idleCheck(new QTimer(window))
{
    connect(&m_run, &TextIndexRun::Indexed, this, &TextIndexController::indexed);
    connect(&m_run, &TextIndexRun::Finished, this, &TextIndexController::finished);
    m_idleCheck->setObjectName(u"TextIndexIdleCheck"_s);
    m_idleCheck->setInterval(IdleCheckMs);
    connect(m_idleCheck, &QTimer::timeout, this, &TextIndexController::CheckIdle);
    m_idleCheck->start();
}

void TextIndexController::Start(bool withProgress)
{
    if (m_cancelled && !withProgress)
        return;
    m_cancelled = false;
    Database *db = m_database();
    if (!db || m_busy() || !mdlOption::UseTextIndex || !db->HasTextIndex())
        return;
    const qint64 pending = TextIndex::PendingCount(*db).value_or(0);
    if (pending == 0)
        return;
    if (withProgress && pending >= TextIndex::ProgressFrom && !m_progress)
        showProgress(pending);
    m_run.Start(m_progress ? TextIndex::BuildBatch : TextIndex::PendingBatch);
}

void TextIndexController::Stop()
{
    m_run.Stop();
}

void TextIndexController::ApplyOption()
{
    Database *db = m_database();
    if (!mdlOption::UseTextIndex)
        Stop();
    if (db && mdlDatabase::ApplyTextIndexOption(*db))
        Start(true);
}

void TextIndexController::CheckIdle()
{
    if (!m_run.IsRunning() && !m_busy() && !QApplication::activeModalWidget())
        Start(false);
}

void TextIndexController::showProgress(qint64 total)
{
    m_done = 0;
    m_progress = new QProgressDialog(TextIndex::ProgressText(0, total), u"キャンセル"_s, 0, int(total), m_window);
    m_progress->setObjectName(u"dlgTextIndex"_s);
    m_progress->setWindowTitle(u"全文検索の索引 - "_s + mdlApp::GetAppTitle());
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->setWindowModality(Qt::NonModal); // a modal one would turn the event loop inside setValue
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setMinimumDuration(0);
    // The rows left stay pending, still found by every search; the next start goes on.
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        m_cancelled = true;
        m_run.Stop();
    });
    indexed(0);
    m_progress->show();
}

void TextIndexController::indexed(int rows)
{
    if (!m_progress)
        return;
    m_done += rows;
    m_progress->setLabelText(TextIndex::ProgressText(m_done, m_progress->maximum()));
    m_progress->setValue(int(qMin<qint64>(m_done, m_progress->maximum())));
}

void TextIndexController::finished()
{
    if (m_progress)
        m_progress->close();
}
