#include "db/JetFunctions.h"

#include <QtGlobal>
#include <sqlite3.h>

namespace JetFunctions {

int Register(sqlite3 *db)
{
    Q_UNUSED(db)
    return SQLITE_OK;
}

} // namespace JetFunctions
