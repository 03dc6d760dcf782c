// gen-log: writes a CP932 log file of generated messages, for import benchmarks and demos.
//   gen-log --type 0 --count 100000 --out FILE [--first 1] [--seed 1]
#include "LogGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &text)
{
    QTextStream(stderr) << "gen-log: " << text << Qt::endl;
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Writes a CP932 log text of generated board messages."_s);
    parser.addHelpOption();
    const QCommandLineOption type(u"type"_s, u"Board type, 0 to 3."_s, u"type"_s, u"0"_s);
    const QCommandLineOption count(u"count"_s, u"Number of messages."_s, u"count"_s, u"1000"_s);
    const QCommandLineOption first(u"first"_s, u"Number of the oldest message."_s, u"first"_s,
                                   u"1"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the generator."_s, u"seed"_s, u"1"_s);
    const QCommandLineOption out(u"out"_s, u"Output file."_s, u"file"_s);
    parser.addOptions({type, count, first, seed, out});
    parser.process(app);

    bool typeOk = false, countOk = false, firstOk = false, seedOk = false;
    const int boardType = parser.value(type).toInt(&typeOk);
    const int messages = parser.value(count).toInt(&countOk);
    const int oldest = parser.value(first).toInt(&firstOk);
    const quint32 seedValue = parser.value(seed).toUInt(&seedOk);
    if (!typeOk || boardType < 0 || boardType > 3)
        return fail(u"--type must be 0, 1, 2 or 3"_s);
    if (!countOk || !firstOk || !seedOk || messages < 0 || oldest < 1
        || qint64(oldest) + messages - 1 > LogGenerator::MaxNumber)
        return fail(u"--count, --first and --seed must be numbers giving message numbers 1 to %1"_s
                        .arg(LogGenerator::MaxNumber));
    if (parser.value(out).isEmpty())
        return fail(u"--out FILE is required"_s);

    QSaveFile file(parser.value(out));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (!LogGenerator(seedValue).write(file, boardType, oldest, messages) || !file.commit())
        return fail(file.errorString());
    QTextStream(stdout) << "wrote " << messages << " messages ("
                        << QFileInfo(parser.value(out)).size() << " bytes) to "
                        << parser.value(out) << Qt::endl;
    return 0;
}
