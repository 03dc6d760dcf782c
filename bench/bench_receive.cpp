// bench_receive: receiving 400 new messages of a type-0 board, 30 per page, from the board
// simulator on loopback into an empty board. Prints the median of several runs as
// "receive_400_s: <seconds>", the pages fetched as "receive_400_pages: <n>" and the calls that
// wait for the disk (fsync, fdatasync) as "receive_400_fsyncs: <n>".
#include "ReceiveBench.h"
#include "support/BoardSimulator.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>

namespace {

constexpr int Runs = 5;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    BoardSimulator sim;
    if (!sim.listen()) {
        QTextStream(stderr) << "bench_receive: cannot listen on 127.0.0.1" << Qt::endl;
        return 1;
    }
    const int simBoard = ReceiveBench::addBoard(sim);

    QList<ReceiveBench::Sample> samples;
    for (int run = 0; run < Runs; ++run) {
        const ReceiveBench::Sample sample = ReceiveBench::receiveHeadless(sim, simBoard);
        if (sample.seconds < 0) {
            QTextStream(stderr) << "bench_receive: the receive failed" << Qt::endl;
            return 1;
        }
        samples << sample;
    }
    std::sort(samples.begin(), samples.end(), [](const auto &a, const auto &b) { return a.seconds < b.seconds; });
    out << "receive_400_s: " << QString::number(samples.at(Runs / 2).seconds, 'f', 3) << Qt::endl;
    out << "receive_400_pages: " << samples.at(Runs / 2).pages << Qt::endl;
    out << "receive_400_fsyncs: " << samples.at(Runs / 2).syncs << Qt::endl;
    return 0;
}
