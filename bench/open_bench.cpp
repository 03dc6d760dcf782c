// bench_open: start-up cost with a large log. Builds (once, then kept) a log database of
// 1,000,000 generated messages in the sixteen default boards, then times what start-up does
// with it: OpenLogDatabase, loading the settings file and LoadOption. Prints the median of
// several runs as "open_1m_s: <seconds>".
// The data lives in $TESSERA_BENCH_DIR (default: the temporary folder + "/tessera-bench").
#include "LargeLogDatabase.h"
#include "app/CIniFile.h"
#include "app/mdlOption.h"
#include "startup/mdlMain.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 1000000;
constexpr int Runs = 5;

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

/** A settings file of the usual size: options, web searches, window position, find history. */
void writeSettings(const QString &path)
{
    CIniFile ini;
    ini.Load(path);
    ini.setNowSection(u"Position"_s);
    for (const QString &key : {u"Left"_s, u"Top"_s, u"Width"_s, u"Height"_s})
        ini.setData(key, u"3000"_s);
    ini.setNowSection(u"FindText"_s);
    for (int i = 0; i < 20; ++i)
        ini.setData(u"Text%1"_s.arg(i), u"検索語%1"_s.arg(i));
    mdlOption::InitWebSearch(ini);
    mdlOption::BBS_ID = 10;
    if (!mdlOption::SaveOption(ini) || !ini.Save())
        qFatal("cannot write the settings file of the benchmark");
}

double openOnce(const QString &dbPath, const QString &iniPath)
{
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<Database> db = mdlDatabase::OpenLogDatabase(dbPath);
    if (!db)
        return -1;
    CIniFile ini;
    ini.Load(iniPath);
    mdlMain::LoadOption(ini, *db);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    folder += u"/open-1m-"_s + mdlDatabase::DatabaseVersion;
    QDir().mkpath(folder);
    qputenv("TESSERA_HOME", QFile::encodeName(folder));

    const QString dbPath = LargeLogDatabase(folder, Messages, "bench_open");
    if (dbPath.isEmpty()) {
        err() << "bench_open: cannot build the database" << Qt::endl;
        return 1;
    }
    const QString iniPath = folder + u"/tessera.ini"_s;
    if (!QFile::exists(iniPath))
        writeSettings(iniPath);

    QList<double> seconds;
    for (int run = 0; run < Runs; ++run) {
        const double s = openOnce(dbPath, iniPath);
        if (s < 0) {
            err() << "bench_open: the database did not open" << Qt::endl;
            return 1;
        }
        seconds.append(s);
    }
    std::sort(seconds.begin(), seconds.end());
    QTextStream(stdout) << "open_1m_s: " << QString::number(seconds.at(Runs / 2), 'f', 4) << Qt::endl;
    return 0;
}
