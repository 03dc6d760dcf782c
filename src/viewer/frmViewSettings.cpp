#include "viewer/frmView.h"

void frmView::connectSettingsCommands()
{
}
