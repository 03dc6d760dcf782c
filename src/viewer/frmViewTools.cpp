#include "viewer/frmView.h"

void frmView::connectToolCommands()
{
}
