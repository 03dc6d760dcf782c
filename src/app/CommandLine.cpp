#include "app/CommandLine.h"

#include "app/mdlApp.h"

#include <QTextStream>

using namespace Qt::StringLiterals;

namespace CommandLine {

QString VersionText()
{
    return QString::fromLatin1(mdlApp::ProductName) + u' ' + mdlApp::GetVersionString(true);
}

bool AnswerInfoOption(const QStringList &args, const QString &helpText, QTextStream &out)
{
    for (const QString &arg : args) {
        if (arg == u"--version"_s) {
            out << VersionText() << Qt::endl;
            return true;
        }
        if (arg == u"--help"_s) {
            out << VersionText() << Qt::endl << helpText;
            if (!helpText.endsWith(u'\n'))
                out << Qt::endl;
            out.flush();
            return true;
        }
    }
    return false;
}

QString WindowHelpText()
{
    return u"usage: tessera [--version | --help]\n"
           "A reader for Japanese web bulletin boards that keeps every message for reading offline.\n"
           "Without options it opens the main window; it reads no other arguments.\n"
           "Program folder: $TESSERA_HOME, else $XDG_DATA_HOME/tessera/ (~/.local/share/tessera/).\n"
           "Commands without a display: tessera-cli --help. Manual: man tessera, man tessera-cli.\n"_s;
}

QStringList ArgumentsOf(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace CommandLine
