#include "viewer/BoardView.h"

BoardView::BoardView(QWidget *parent)
    : QTextBrowser(parent)
{
}

BoardView::~BoardView() = default;

void BoardView::ShowBoard(const CBBSProperty & /*Board*/)
{
}
