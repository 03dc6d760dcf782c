// bench_links: the links of the body pane. Prints
//   body_links_1mb_ms:     what finding and drawing the links adds to showing a body of
//                          1,000,000 characters (an address and an anchor every tenth line): the pane
//                          filled with it, less the pane filled with the same text whose links
//                          are defused, plus the scan of that defused text;
//   anchor_preview_1m_ms:  one anchor preview's text read from the 1,000,000-message database
//                          that bench_open keeps in $TESSERA_BENCH_DIR (built when missing).
// Each figure is the median of several runs.
#include "BenchFigures.h"
#include "LargeLogDatabase.h"
#include "WindowBench.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
#include "db/mdlDatabase.h"
#include "models/BodyLinks.h"
#include "viewer/BodyLinkController.h"
#include "viewer/BodyRenderer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextStream>
#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype BodyLength = 1000000;
constexpr int Messages = 1000000;

QString largeBody()
{
    QString body;
    for (int line = 0; body.size() < BodyLength; ++line) {
        body += line % 10 == 0 ? u"詳しくは http://example.jp/page/%1.html を見てください >>%1\r\n"_s.arg(line)
                               : u"これは本文の%1行目です。掲示板の書き込みらしい長さの文が続きます。\r\n"_s.arg(line);
    }
    return body.left(BodyLength);
}

double bodyLinks()
{
    const QString body = largeBody();
    QString defused = body;
    defused.replace(u"http://"_s, u"hxxp;//"_s).replace(u">>"_s, u"＞・"_s);
    QPlainTextEdit pane; // as the window's body pane is set up
    pane.setReadOnly(true);
    pane.setUndoRedoEnabled(false);
    QList<double> added;
    for (int run = 0; run < 9; ++run) {
        const double withLinks = milliseconds([&] { BodyRenderer::Render(pane, body); });
        const double without = milliseconds([&] { BodyRenderer::Render(pane, defused); });
        const double scan = milliseconds([&] {
            for (QStringView line : QStringView(defused).split(u"\r\n"_s))
                BodyLinks::Scan(line);
        });
        added.append(withLinks - without + scan);
    }
    return median(added);
}

double anchorPreview(Database &db)
{
    const int board = mdlDatabase::DefaultBoards().first().BBS_ID;
    const int perBoard = Messages / int(mdlDatabase::DefaultBoards().size());
    QPlainTextEdit pane;
    BodyLinkController links(pane, {.shownBoard = [board] { return board; },
                                    .find = [&db](int BBS_ID, int from, int to, int limit) {
                                        return MessageRepository(db).Find(BBS_ID, from, to, limit);
                                    },
                                    .showMessage = {}});
    QRandomGenerator random(31);
    QList<double> times;
    for (int run = 0; run < 200; ++run) {
        const int id = random.bounded(1, perBoard + 1);
        times.append(milliseconds([&] { links.PreviewText(board, id, id); }));
    }
    return median(times);
}

} // namespace

int main(int argc, char *argv[])
{
    WindowBench::quietOffscreen();
    QApplication app(argc, argv);
    print("body_links_1mb_ms", bodyLinks());

    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    folder += u"/open-1m-"_s + mdlDatabase::DatabaseVersion;
    QDir().mkpath(folder);
    const QString path = LargeLogDatabase(folder, Messages, "bench_links");
    std::unique_ptr<Database> db = path.isEmpty() ? nullptr : Database::Open(path);
    if (!db) {
        QTextStream(stderr) << "bench_links: cannot open the database" << Qt::endl;
        return 1;
    }
    print("anchor_preview_1m_ms", anchorPreview(*db));
    return 0;
}
