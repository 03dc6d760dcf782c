// board-simulator: serves generated boards of every type on 127.0.0.1 for demos and manual
// tests, printing each request. Runs until interrupted.
//   board-simulator [--port 8080] [--count 1000] [--seed 1] [--fault KIND]
#include "LogGenerator.h"
#include "support/BoardSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

const QStringList FaultNames = {u"error-page"_s, u"500"_s, u"404"_s, u"slow"_s, u"cut"_s,
                                u"close"_s, u"hang"_s, u"redirect"_s, u"empty"_s, u"huge"_s,
                                u"endless"_s, u"trickle"_s, u"cut-no-length"_s, u"reset"_s,
                                u"gone"_s, u"nul"_s, u"html"_s};

BoardSimulator::Fault faultNamed(const QString &name)
{
    using Kind = BoardSimulator::FaultKind;
    static const QList<Kind> kinds = {Kind::ErrorPage, Kind::Status, Kind::Status,
                                      Kind::SlowBody, Kind::CutOffBody, Kind::CloseWithoutAnswer,
                                      Kind::NeverAnswer, Kind::Redirect, Kind::EmptyBody,
                                      Kind::HugeBody, Kind::EndlessBody, Kind::Trickle,
                                      Kind::CutWithoutLength, Kind::ResetMidBody,
                                      Kind::GoneDuringSlowBody, Kind::NulAfterLineBreaks,
                                      Kind::HtmlLines};
    BoardSimulator::Fault fault;
    fault.kind = kinds.at(FaultNames.indexOf(name));
    fault.status = name == u"404"_s ? 404 : 500;
    fault.chunkBytes = 256;
    fault.delayMs = 200;
    return fault;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Serves simulated boards of types 0 to 3."_s);
    parser.addHelpOption();
    const QCommandLineOption port(u"port"_s, u"Port on 127.0.0.1 (0: any free port)."_s,
                                  u"port"_s, u"0"_s);
    const QCommandLineOption count(u"count"_s, u"Messages per board."_s, u"count"_s, u"1000"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the generator."_s, u"seed"_s, u"1"_s);
    const QCommandLineOption fault(u"fault"_s, u"Answer every request with a fault: "_s
                                                   + FaultNames.join(u", "_s) + u'.',
                                   u"kind"_s);
    parser.addOptions({port, count, seed, fault});
    parser.process(app);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const int messages = qBound(0, parser.value(count).toInt(), LogGenerator::MaxNumber);
    if (parser.isSet(fault) && !FaultNames.contains(parser.value(fault))) {
        err << "board-simulator: unknown fault " << parser.value(fault) << Qt::endl;
        return 2;
    }
    BoardSimulator simulator;
    if (!simulator.listen(quint16(parser.value(port).toUInt()))) {
        err << "board-simulator: cannot listen on port " << parser.value(port) << Qt::endl;
        return 1;
    }
    const LogGenerator generator(parser.value(seed).toUInt());
    const QList<BoardMessage> generated = generator.messages(1, messages);
    const QList<int> boards = {simulator.addBoard(0, u"/cgi-bin/bbs.cgi"_s),
                               simulator.addBoard(1, u"/cgi-bin/pair.cgi"_s),
                               simulator.addBoard(2, u"/cgi-bin/pair.cgi"_s),
                               simulator.addBoard(3, u"/cgi-bin/text.cgi"_s, u"textbbs"_s)};
    for (int board : boards) {
        simulator.addMessages(board, generated);
        out << "type " << board << ": " << simulator.url(board) << Qt::endl;
    }
    if (parser.isSet(fault))
        simulator.setFault(faultNamed(parser.value(fault)));
    QObject::connect(&simulator, &BoardSimulator::requestReceived, &app,
                     [&out](const BoardSimulator::Request &request) {
                         out << request.method << ' ' << request.target << "  Cookie: "
                             << request.cookie << Qt::endl;
                     });
    return app.exec();
}
