#include "viewer/frmView.h"

void frmView::createTray()
{
}

void frmView::SetBlinking(bool /*on*/)
{
}

void frmView::UpdateTrayVisibility()
{
}
