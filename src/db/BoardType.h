#pragma once

/**
 * @short The four kinds of board, by the number kept in BBS.BBSType: request forms, log layouts
 * and cookie layouts differ by kind.
 */
enum BoardType : int {
    SingleBoard = 0,      ///< a board of its own
    PairedLeftBoard = 1,  ///< the left board of a pair served by one CGI address
    PairedRightBoard = 2, ///< the right board of that pair
    TextPageBoard = 3,    ///< a board of the other CGI family: text pages in EUC-JP
};

/** @short True for either board of a pair. */
constexpr bool IsPairedBoard(int type)
{
    return type == PairedLeftBoard || type == PairedRightBoard;
}
