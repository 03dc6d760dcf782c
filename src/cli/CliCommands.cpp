#include "cli/CliCommands.h"

#include "app/mdlApp.h"
#include "cli/CmdExport.h"
#include "cli/CmdImport.h"
#include "cli/CmdNg.h"
#include "cli/CmdQuery.h"
#include "cli/CmdReceive.h"
#include "cli/CmdSettings.h"
#include "cli/CmdStartup.h"

using namespace Qt::StringLiterals;

namespace {

int runVersion(CliContext &ctx)
{
    ctx.out << mdlApp::GetAppTitle() << Qt::endl;
    return CliOk;
}

} // namespace

const QList<CliCommand> &cliCommands()
{
    static const QList<CliCommand> commands = {
        {"version", "version", runVersion},
        {"boards", "boards", runBoards},
        {"compact", "compact", runCompact},
        {"check", "check", runCheck},
        {"repair", "repair [FILE]", runRepair},
        {"settings", "settings BBS_ID [Name=value...]", runSettings},
        {"query", "query \"SQL\" [VALUE...]", runQuery},
        {"search", "search TEXT [--board ID] [--limit N]", runSearch},
        {"import", "import BBS_ID FILE...", runImport},
        {"export", "export BBS_ID FILE [--from ID] [--to ID]", runExport},
        {"receive", "receive [--full] BBS_ID... | --visit | --all", runReceive},
        {"ng", "ng list | ng add [--board BBS_ID] [--regexp] [--abone] [--apply] FIELD PATTERN | ng remove ID", runNg},
    };
    return commands;
}

int usageError(CliContext &ctx, const char *name)
{
    for (const CliCommand &c : cliCommands()) {
        if (qstrcmp(c.name, name) == 0)
            ctx.err << u"usage: tessera-cli "_s << QString::fromUtf8(c.usage) << Qt::endl;
    }
    return CliUsage;
}
