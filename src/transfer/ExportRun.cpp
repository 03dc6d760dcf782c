#include "transfer/ExportRun.h"

#include "app/AtomicFileWriter.h"
#include "db/BoardMessageReader.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/LogWriter.h"

#include <QTimer>
#include <algorithm>

using namespace Qt::StringLiterals;

ExportRun::ExportRun(QObject *parent) : QObject(parent) {}

ExportRun::~ExportRun() = default;

bool ExportRun::StartBoard(Database &db, int BBS_ID, int bbsType, const QString &FileName, int FromID, int ToID)
{
    return StartBoard([&db] { return &db; }, BBS_ID, bbsType, FileName, FromID, ToID);
}

bool ExportRun::StartBoard(std::function<Database *()> database, int BBS_ID, int bbsType, const QString &FileName,
                           int FromID, int ToID)
{
    Database *db = database();
    if (m_running || !db || !LogWriter::Supports(bbsType))
        return false;
    m_reader = std::make_unique<BoardMessageReader>(BBS_ID, FromID, ToID);
    m_database = std::move(database);
    m_messages.clear();
    const std::optional<int> total = m_reader->Count(*db);
    begin(bbsType, FileName, total.value_or(0));
    if (!total)
        m_startFailure = db->LastError().description;
    return true;
}

bool ExportRun::StartMessages(QList<CMessage> Msgs, int bbsType, const QString &FileName)
{
    if (m_running || !LogWriter::Supports(bbsType))
        return false;
    std::stable_sort(Msgs.begin(), Msgs.end(), [](const CMessage &a, const CMessage &b) { return a.ID < b.ID; });
    m_reader.reset();
    m_database = nullptr;
    m_messages = std::move(Msgs);
    m_next = 0;
    begin(bbsType, FileName, int(m_messages.size()));
    return true;
}

void ExportRun::begin(int bbsType, const QString &FileName, int total)
{
    m_fileName = FileName;
    m_total = total;
    m_done = 0;
    m_result = {};
    m_cancel = false;
    m_startFailure.clear();
    m_running = true;
    m_log = std::make_unique<LogWriter>(bbsType);
    m_file = std::make_unique<AtomicFileWriter>(FileName);
    if (!m_file->Open())
        m_startFailure = m_file->Result().message;
    QTimer::singleShot(0, this, &ExportRun::step);
}

void ExportRun::Cancel()
{
    m_cancel = m_running;
}

/** The next batch; nullopt, with the cause in @p failure, when the database fails or is gone. */
std::optional<QList<CMessage>> ExportRun::nextBatch(QString &failure)
{
    if (m_reader) {
        Database *db = m_database();
        std::optional<QList<CMessage>> batch = db ? m_reader->Next(*db, BatchSize) : std::nullopt;
        if (!batch)
            failure = db ? db->LastError().description : u"データベースが閉じられました。"_s;
        return batch;
    }
    const qsizetype count = std::min<qsizetype>(BatchSize, m_messages.size() - m_next);
    const QList<CMessage> batch = m_messages.sliced(m_next, count);
    m_next += count;
    return batch;
}

/** Writes one batch, or ends the run when the messages are through, a cancel came or something failed. */
void ExportRun::step()
{
    if (!m_startFailure.isEmpty()) {
        fail(m_startFailure);
        return;
    }
    if (m_cancel) {
        m_result.Cancelled = true;
        finish();
        return;
    }
    QString failure;
    const std::optional<QList<CMessage>> batch = nextBatch(failure);
    if (!batch) {
        fail(failure);
        return;
    }
    if (batch->isEmpty()) {
        finish();
        return;
    }
    const int skippedBefore = m_result.Skipped;
    const QByteArray bytes = m_log->Write(*batch, &m_result.Skipped);
    m_result.Written += int(batch->size()) - (m_result.Skipped - skippedBefore);
    if (!m_file->Write(bytes)) {
        fail(m_file->Result().message);
        return;
    }
    m_done += int(batch->size());
    emit Progress(m_done, std::max(m_done, m_total));
    QTimer::singleShot(0, this, &ExportRun::step);
}

void ExportRun::fail(const QString &cause)
{
    m_result.Failed = true;
    m_result.Outcome = u"エクスポートできませんでした。"_s + m_fileName + u"には1件も書き出していません。\n"_s + cause;
    finish();
}

void ExportRun::finish()
{
    m_result.Replaced = m_log->ReplacedCount();
    if (!m_result.Failed && !m_result.Cancelled && m_result.Written > 0 && !m_file->Commit())
        return fail(m_file->Result().message);
    m_file->Cancel(); // after a commit there is nothing left to drop
    if (m_result.Failed || m_result.Cancelled)
        m_result.Written = 0;
    if (m_result.Cancelled)
        m_result.Outcome = u"処理は中断されました。"_s + m_fileName + u"には何も書き出していません。"_s;
    else if (!m_result.Failed && m_result.Written == 0)
        m_result.Outcome = u"エクスポートできるメッセージはありませんでした。"_s;
    else if (!m_result.Failed)
        m_result.Outcome = QString::number(m_result.Written) + u"件エクスポートしました。"_s;
    if (!m_result.Failed && m_result.Skipped > 0)
        m_result.Outcome += u"投稿日のない"_s + QString::number(m_result.Skipped) + u"件は書き出していません。"_s;
    if (m_result.Written > 0)
        m_result.Outcome += m_log->ReplacementText();
    m_running = false;
    emit Finished(m_result);
}

QString ExportRun::ProposedFileName(const CBBSProperty &board, QDate today)
{
    QString name = board.DefaultLogFile();
    name.replace(u'*', today.toString(u"yyyyMMdd"_s)).replace(u'?', u'0');
    if (name.isEmpty())
        name = board.Identifier().isEmpty() ? u"export"_s : board.Identifier();
    return name.contains(u'.') ? name : name + u".log"_s;
}
