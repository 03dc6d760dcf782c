#include "cli/CliCommands.h"

#include "app/mdlApp.h"
#include "cli/CmdImport.h"
#include "cli/CmdQuery.h"
#include "cli/CmdReceive.h"
#include "cli/CmdSettings.h"
#include "cli/CmdStartup.h"

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
        {"repair", "repair", runRepair},
        {"settings", "settings BBS_ID [Name=value...]", runSettings},
        {"query", "query \"SQL\" [VALUE...]", runQuery},
        {"import", "import BBS_ID FILE...", runImport},
        {"receive", "receive [--full] BBS_ID... | --visit | --all", runReceive},
    };
    return commands;
}
