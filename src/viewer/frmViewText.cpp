#include "viewer/frmView.h"

void frmView::connectTextCommands()
{
}
