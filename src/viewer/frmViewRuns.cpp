#include "viewer/frmView.h"

void frmView::connectRunCommands()
{
}

void frmView::RunCommand(int /*Index*/)
{
}

bool frmView::IsRunning() const
{
    return false;
}
