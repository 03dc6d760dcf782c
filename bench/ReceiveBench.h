#pragma once

// The receive both receive benchmarks time: 400 new messages of a type-0 board, 30 per page,
// from the board simulator on loopback into an empty board.
#include "BenchFigures.h"

#include <QString>

class BoardSimulator;

namespace ReceiveBench {

constexpr int Messages = 400;
constexpr int Board = 4; // a type-0 default board, 30 messages per page without a cookie

/** Adds a type-0 board with Messages generated messages to @p sim; its number there. */
int addBoard(BoardSimulator &sim);

/** The statement that points a new database's board at @p url for the receive. */
QString pointBoardAt(const QString &url);

struct Sample
{
    double seconds = -1; // -1: the receive failed or stored another number of messages
    int pages = 0;
    int syncs = 0; // fsync and fdatasync calls of the receive
};

/** One receive of @p simBoard without a window, into a new database and cookie store. */
Sample receiveHeadless(BoardSimulator &sim, int simBoard);

} // namespace ReceiveBench
