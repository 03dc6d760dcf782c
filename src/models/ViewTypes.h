#pragma once

/**
 * @short The main window's two message lists by index: list 0 shows the shown board's
 * messages, list 1 search and query results.
 *
 * Unscoped with an int base: the lists are also indexed by plain numbers (lsvMsgList(int)),
 * so an index converts to int where such code takes it.
 */
enum ListIndex : int { BoardList = 0, ResultList = 1 };

/**
 * @short The pages of the shown board that list 0 shows; menu item mnuBBSViewSub(i) shows
 * view i. Newer lists the messages above the newest one shown, Older those below the oldest.
 */
enum ViewType : int { LatestView = 0, NewerView = 1, OlderView = 2, UnreadView = 3, AllView = 4 };
