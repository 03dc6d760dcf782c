#include "cli/CmdSettings.h"

#include "app/mdlEncoding.h"
#include "app/mdlText.h"
#include "startup/mdlMain.h"
#include "db/BoardType.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"

#include <QList>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Assignment = std::pair<int, QString>; // setting position, value

/** The setting position of @p name (any letter case), or -1. */
int settingPosition(const QString &name)
{
    for (int i = 0; i < CBBSProperty::SettingCount; ++i) {
        if (CBBSProperty::SettingName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

/** Parses "Name=value" arguments; nullopt (after a message) when one is not acceptable. */
std::optional<QList<Assignment>> parseAssignments(const QStringList &args, QTextStream &err)
{
    QList<Assignment> assignments;
    for (const QString &arg : args) {
        const qsizetype equals = arg.indexOf(u'=');
        const int position = equals < 0 ? -1 : settingPosition(arg.left(equals));
        QString value = arg.mid(equals + 1);
        bool ok = true;
        if (position >= 0 && CBBSProperty::IsNumericSetting(position)) {
            const int number = value.trimmed().toInt(&ok);
            ok = ok && number >= 0; // counts, choices and message numbers are never negative
            value = QString::number(number);
        }
        if (position < 0 || !ok) {
            err << arg << u": 設定の名前が違うか、数の設定に0以上の整数が指定されていません。"_s << Qt::endl;
            return std::nullopt;
        }
        assignments.append({ position, value });
    }
    return assignments;
}

} // namespace

int runSettings(CliContext &ctx)
{
    bool idOk = false;
    const int bbsId = ctx.args.value(0).toInt(&idOk);
    const std::optional<QList<Assignment>> assignments
        = idOk ? parseAssignments(ctx.args.mid(1), ctx.err) : std::nullopt;
    if (!assignments)
        return usageError(ctx, "settings");
    const std::unique_ptr<Database> db = mdlMain::OpenLogDatabase();
    if (!db)
        return CliFailed;
    CBBSProperty board;
    if (!board.GetProperty(bbsId, *db)) {
        ctx.err << u"no board "_s << bbsId << Qt::endl;
        return CliFailed;
    }

    // Every value is checked before the first is written: a refused one changes nothing.
    for (const auto &[position, value] : *assignments) {
        if (const QString error = CBBSProperty::SettingValueError(board.BBSType(), position, value); !error.isEmpty()) {
            ctx.err << error << Qt::endl;
            return CliFailed;
        }
    }
    int status = CliOk;
    for (const auto &[position, value] : *assignments) {
        if (!board.SetSettingText(position, value)) {
            // Nothing is printed: the values held in memory may differ from the file's.
            ctx.err << board.LastError() << Qt::endl;
            return CliFailed;
        }
        // Characters with a twin read back as the twin (mdlMain::ReadBack).
        const auto encoding = board.BBSType() == TextPageBoard ? mdlMain::BoardEncoding::EucJp
                                                               : mdlMain::BoardEncoding::Cp932;
        if (const QString stored = board.SettingText(position); stored != mdlMain::ReadBack(value, encoding)) {
            ctx.err << CBBSProperty::SettingName(position) << u" は指定どおりに保存されませんでした。いまの値は「"_s
                    << mdlText::OneLine(stored) << u"」です。"_s << Qt::endl;
            status = CliFailed;
        }
    }
    for (int i = 0; i < CBBSProperty::SettingCount; ++i)
        ctx.out << CBBSProperty::SettingName(i) << u'=' << mdlText::OneLine(board.SettingText(i)) << u'\n';
    ctx.out.flush();
    return status;
}
