#include "cli/CmdNg.h"

#include "app/mdlText.h"
#include "db/Database.h"
#include "db/NgRuleRepository.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The field names of the command line, in NgField order.
const QStringList FieldNames = {u"poster"_s, u"mail"_s, u"subject"_s, u"body"_s, u"homepage"_s, u"any"_s};

struct AddRequest
{
    NgRule rule;
    bool apply = false;
};

std::optional<AddRequest> parseAdd(const QStringList &args)
{
    AddRequest request;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == u"--regexp"_s) {
            request.rule.RegExp = true;
        } else if (arg == u"--abone"_s) {
            request.rule.Action = NgAction::Abone;
        } else if (arg == u"--apply"_s) {
            request.apply = true;
        } else if (arg == u"--board"_s) {
            bool ok = false;
            request.rule.BBS_ID = args.value(++i).toInt(&ok);
            if (!ok)
                return std::nullopt;
        } else {
            positional << arg;
        }
    }
    const qsizetype field = FieldNames.indexOf(positional.value(0).toLower());
    if (positional.size() != 2 || field < 0)
        return std::nullopt;
    request.rule.Field = NgField(field);
    request.rule.Pattern = positional.at(1);
    return request;
}

int failed(CliContext &ctx, const QString &message)
{
    ctx.err << message << Qt::endl;
    return CliFailed;
}

int list(CliContext &ctx, NgRuleRepository &rules)
{
    const std::optional<QList<NgRule>> all = rules.List();
    if (!all)
        return failed(ctx, rules.LastError().description);
    for (const NgRule &rule : *all) {
        ctx.out << rule.ID << u'\t' << FieldNames.value(int(rule.Field), u"?"_s) << u'\t'
                << (rule.Action == NgAction::Abone ? u"abone"_s : u"hide"_s) << u'\t'
                << (rule.BBS_ID ? QString::number(*rule.BBS_ID) : u"all"_s) << u'\t'
                << (rule.RegExp ? u"regexp"_s : u"plain"_s) << u'\t' << mdlText::OneField(rule.Pattern) << u'\n';
    }
    ctx.out.flush();
    return CliOk;
}

int add(CliContext &ctx, NgRuleRepository &rules, const AddRequest &request)
{
    QString error;
    const std::optional<qint64> id = rules.Add(request.rule, &error);
    if (!id)
        return failed(ctx, error);
    ctx.out << *id << Qt::endl;
    if (!request.apply)
        return CliOk;
    const std::optional<int> marked = rules.MarkUnreadRead(request.rule);
    if (!marked)
        return failed(ctx, rules.LastError().description);
    ctx.out << *marked << u"件を既読にしました。"_s << Qt::endl;
    return CliOk;
}

int remove(CliContext &ctx, NgRuleRepository &rules, qint64 id)
{
    const std::optional<bool> removed = rules.Remove(id);
    if (!removed)
        return failed(ctx, rules.LastError().description);
    return *removed ? CliOk : failed(ctx, u"no rule "_s + QString::number(id));
}

} // namespace

int runNg(CliContext &ctx)
{
    const QString verb = ctx.args.value(0);
    const QStringList args = ctx.args.mid(1);
    std::optional<AddRequest> request;
    bool idOk = false;
    const qint64 id = args.value(0).toLongLong(&idOk);
    if (verb == u"add"_s)
        request = parseAdd(args);
    if (!(verb == u"list"_s && args.isEmpty()) && !(verb == u"add"_s && request)
        && !(verb == u"remove"_s && args.size() == 1 && idOk))
        return usageError(ctx, "ng");
    const std::unique_ptr<Database> db = mdlDatabase::OpenLogDatabase(mdlMain::LogDatabasePath());
    if (!db)
        return CliFailed;
    NgRuleRepository rules(*db);
    if (verb == u"list"_s)
        return list(ctx, rules);
    return request ? add(ctx, rules, *request) : remove(ctx, rules, id);
}
