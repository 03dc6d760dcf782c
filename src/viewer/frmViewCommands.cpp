#include "viewer/frmView.h"

void frmView::connectMessageCommands()
{
}

void frmView::UpdateMessageMenu()
{
}

void frmView::RelateSearch(int /*BBS_ID*/, const QString & /*Text*/)
{
}
