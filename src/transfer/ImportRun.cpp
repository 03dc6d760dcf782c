#include "transfer/ImportRun.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "transfer/CBBS.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

ImportRun::ImportRun(CBBS &bbs, QObject *parent) : QObject(parent), m_bbs(bbs) {}

ImportRun::Result ImportRun::Run(int BBS_ID, const QStringList &FileNames, bool ReadMode)
{
    Result result;
    m_bbs.InitCancel();
    const qsizetype count = FileNames.size();
    for (qsizetype k = 1; k <= count; ++k) {
        const QString &fileName = FileNames.at(k - 1);
        emit InfoChanged(fileName + u"のインポート中...("_s + QString::number(k) + u'/'
                             + QString::number(count) + u')',
                         1, true);
        if (!m_bbs.ImportLog(BBS_ID, fileName, ReadMode))
            ++result.NotImported;
        result.Total += m_bbs.SaveCount();
        if (!m_bbs.ImportStopCause().isEmpty()) {
            result.StorageFailed = true;
            break;
        }
        if (m_bbs.IsCancel()) {
            result.Cancelled = true;
            break;
        }
    }
    if (result.StorageFailed)
        result.Outcome = u"インポートを中止しました。"_s + m_bbs.ImportStopCause() + u" インポートできたのは"_s
                         + QString::number(result.Total) + u"件です。"_s;
    else if (result.Cancelled)
        result.Outcome = u"処理は中断されました。"_s;
    else if (result.Total > 0)
        result.Outcome = QString::number(result.Total) + u"件インポートしました。"_s;
    else
        result.Outcome = u"インポートできるログはありませんでした。"_s;
    emit InfoChanged(result.Outcome, 3, true);
    return result;
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
