#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

/** @short The only command-line options the programs answer themselves: --version and --help. */
namespace CommandLine {

/** "Tessera Ver.0.61.0116": the product name and the version with its revision. */
QString VersionText();

/**
 * @short Answers --version or --help when @p args (without the program name) hold one.
 * The first of the two found wins: --version prints VersionText(), --help prints VersionText()
 * followed by @p helpText, both to @p out. Returns true when something was printed (the caller
 * then ends with status 0); every other argument is left alone and gives false.
 */
bool AnswerInfoOption(const QStringList &args, const QString &helpText, QTextStream &out);

/** The help text of the window program `tessera`. */
QString WindowHelpText();

/** The arguments of main() without the program name, decoded from the locale's encoding. */
QStringList ArgumentsOf(int argc, char *argv[]);

} // namespace CommandLine
