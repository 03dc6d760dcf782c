#include "transfer/ImportRun.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/CBBS.h"

#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

ImportRun::ImportRun(CBBS &bbs, QObject *parent) : QObject(parent), m_bbs(bbs)
{
    connect(&m_bbs, &CBBS::ImportFinished, this, &ImportRun::fileImported);
}

bool ImportRun::Start(int BBS_ID, const QStringList &FileNames, bool ReadMode)
{
    if (m_running)
        return false;
    m_board = BBS_ID;
    m_files = FileNames;
    m_read = ReadMode;
    m_next = 0;
    m_result = {};
    m_bbs.InitCancel();
    m_running = true;
    QTimer::singleShot(0, this, &ImportRun::nextFile);
    return true;
}

/** Starts the next file's import, unless the files are through or a cancel came between two files. */
void ImportRun::nextFile()
{
    if (m_bbs.IsCancel())
        m_result.Cancelled = true;
    if (m_result.Cancelled || m_next >= m_files.size()) {
        finish();
        return;
    }
    const QString &fileName = m_files.at(m_next++);
    emit InfoChanged(fileName + u"のインポート中...("_s + QString::number(m_next) + u'/'
                         + QString::number(m_files.size()) + u')',
                     1, true);
    m_importing = m_bbs.ImportLog(m_board, fileName, m_read);
    if (!m_importing) { // the transfer control is busy with a run of another's
        ++m_result.NotImported;
        QTimer::singleShot(0, this, &ImportRun::nextFile);
    }
}

void ImportRun::fileImported(bool clean)
{
    if (!std::exchange(m_importing, false))
        return;
    if (!clean)
        ++m_result.NotImported;
    m_result.Total += m_bbs.SaveCount();
    m_result.StorageFailed = !m_bbs.ImportStopCause().isEmpty();
    if (m_result.StorageFailed)
        finish();
    else
        QTimer::singleShot(0, this, &ImportRun::nextFile);
}

void ImportRun::finish()
{
    if (m_result.StorageFailed)
        m_result.Outcome = u"インポートを中止しました。"_s + m_bbs.ImportStopCause() + u" インポートできたのは"_s
                           + QString::number(m_result.Total) + u"件です。"_s;
    else if (m_result.Cancelled)
        m_result.Outcome = u"処理は中断されました。"_s;
    else if (m_result.Total > 0)
        m_result.Outcome = QString::number(m_result.Total) + u"件インポートしました。"_s;
    else
        m_result.Outcome = u"インポートできるログはありませんでした。"_s;
    emit InfoChanged(m_result.Outcome, 3, true);
    m_running = false;
    emit Finished(m_result);
}

std::optional<ImportRun::OtherBoard> ImportRun::FindOtherBoard(Database &db, int BBS_ID,
                                                                const QStringList &FileNames)
{
    for (const QString &fileName : FileNames) {
        // The name goes in as a quoted literal, so quotes in it cannot break the statement.
        const std::optional<Recordset> boards = db.OpenRecordset(
            u"SELECT BBS_ID, BBS_Name"_s + u"  FROM BBS"_s + u" WHERE BBS_ID <> "_s + QString::number(BBS_ID)
            + u"   AND "_s + JetSql::TextLiteral(QFileInfo(fileName).fileName()) + u" Like DefaultLogFile"_s);
        if (boards && !boards->IsEOF())
            return OtherBoard{boards->Value(0).toInt(), boards->Value(1).toString()};
    }
    return std::nullopt;
}

bool ImportRun::ConfirmImport(Database &db, const CBBSProperty &board, const QStringList &FileNames)
{
    const std::optional<OtherBoard> other = FindOtherBoard(db, board.ID(), FileNames);
    const QString question = other
        ? other->BBS_Name + u"用のログファイルと思われるファイルが指定されています。\r\n"_s + u"このまま"_s
            + board.BBS_Name() + u"に下記のファイルをインポートしてもよろしいですか？"_s
        : board.BBS_Name() + u"に下記のファイルをインポートします。\r\n"_s + u"よろしいですか？"_s;
    const Prompter::Button answer
        = prompter().question(question + u"\r\n\r\n"_s + FileNames.join(u"\r\n"_s), {Prompter::Yes, Prompter::No},
                              other ? Prompter::No : Prompter::Yes, Prompter::Icon::Information);
    return answer == Prompter::Yes;
}
