#include "app/CommandLine.h"
#include "app/mdlApp.h"
#include "cli/CliCommands.h"
#include "cli/CliPrompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QString usageText()
{
    QString text = u"usage: tessera-cli [--home DIR] [--yes|--no] COMMAND [ARGS]\n"
                   "       tessera-cli --version | --help\n"
                   "commands:\n"_s;
    for (const CliCommand &c : cliCommands())
        text += u"  "_s + QString::fromUtf8(c.usage) + u'\n';
    return text;
}

void printUsage(QTextStream &err)
{
    err << usageText() << Qt::flush;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tessera-cli"_s);
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    CliPrompter::Mode mode = CliPrompter::Mode::Auto;
    while (!args.isEmpty() && args.first().startsWith(u"--"_s)) {
        const QString opt = args.takeFirst();
        if (opt == u"--yes"_s) {
            mode = CliPrompter::Mode::Yes;
        } else if (opt == u"--no"_s) {
            mode = CliPrompter::Mode::No;
        } else if (opt == u"--home"_s && !args.isEmpty()) {
            qputenv("TESSERA_HOME", QDir(args.takeFirst()).absolutePath().toLocal8Bit());
        } else if (opt == u"--help"_s || opt == u"--version"_s) {
            CommandLine::AnswerInfoOption({opt}, usageText(), out);
            return CliOk;
        } else {
            err << u"unknown option: "_s << opt << Qt::endl;
            printUsage(err);
            return CliUsage;
        }
    }
    if (args.isEmpty()) {
        printUsage(err);
        return CliUsage;
    }

    CliPrompter cliPrompter(mode);
    setPrompter(&cliPrompter);
    const QString name = args.takeFirst();
    for (const CliCommand &c : cliCommands()) {
        if (name == QString::fromUtf8(c.name)) {
            CliContext ctx{args, out, err};
            const int status = c.run(ctx);
            setPrompter(nullptr);
            return status;
        }
    }
    err << u"unknown command: "_s << name << Qt::endl;
    printUsage(err);
    return CliUsage;
}
