#include "viewer/ExportController.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "models/MessageLists.h"
#include "viewer/WindowDialogs.h"

#include <QLabel>
#include <QProgressDialog>

using namespace Qt::StringLiterals;

ExportController::ExportController(Sources sources, QObject *parent)
    : QObject(parent), m_sources(std::move(sources))
{
    connect(&m_run, &ExportRun::Progress, this, [this](int done, int total) {
        if (m_progress) {
            m_progress->setMaximum(total);
            m_progress->setValue(done);
        }
    });
    connect(&m_run, &ExportRun::Finished, this, &ExportController::finished);
}

void ExportController::Export()
{
    if (m_run.IsRunning() || !m_sources.database())
        return;
    const bool rows = m_sources.lists.CurrentList() == ResultList;
    if (rows && (m_sources.listKind() != 0 || m_sources.lists.lsvMsgList(1).rowCount() == 0)) {
        prompter().information(u"エクスポートするメッセージがありません。"_s);
        return;
    }
    const QString proposed = ExportRun::ProposedFileName(m_sources.current, QDate::currentDate());
    const QString file = windowDialogs().SaveFile(u"ログファイル(*.log;*.txt)|*.log;*.txt|全てのファイル(*.*)|*.*"_s,
                                                  proposed, m_sources.window);
    if (file.isEmpty() || !start(file))
        return;
    showProgress();
}

/** Starts the run on list 1's rows, or on every stored message of the shown board. */
bool ExportController::start(const QString &FileName)
{
    const int type = m_sources.current.BBSType();
    if (m_sources.lists.CurrentList() == BoardList)
        return m_run.StartBoard(m_sources.database, m_sources.current.ID(), type, FileName);
    const MessageListModel &list = m_sources.lists.lsvMsgList(1);
    QList<CMessage> messages;
    for (int row = 0; row < list.rowCount(); ++row)
        messages << list.Message(row);
    return m_run.StartMessages(messages, type, FileName);
}

void ExportController::showProgress()
{
    m_progress = new QProgressDialog(u"エクスポート中..."_s, u"キャンセル"_s, 0, 0, m_sources.window);
    m_progress->setObjectName(u"dlgExport"_s);
    m_progress->setWindowTitle(u"エクスポート"_s);
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->setWindowModality(Qt::NonModal); // a modal one would turn the event loop inside setValue
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    connect(m_progress, &QProgressDialog::canceled, &m_run, &ExportRun::Cancel);
    m_progress->show();
}

void ExportController::finished(const ExportRun::Result &result)
{
    if (m_progress)
        m_progress->close();
    m_sources.statusPanel->setText(QString(result.Outcome).replace(u'\n', u' '));
    if (result.Failed)
        prompter().critical(result.Outcome);
    else if (!result.Cancelled)
        prompter().information(result.Outcome);
}
