#pragma once

#include "db/Database.h"
#include "db/TableDef.h"

#include <QString>
#include <memory>

// Pieces of the log database that its source files share; not for other callers.
namespace mdlDatabase {

/** Makes a finished rename survive a crash: the folder entry is written to disk. */
void SyncFolder(const QString &folder);
/** The temporary files of the log database start with this: "TSR". */
inline const QString TempPrefix = QStringLiteral("TSR");

/** The definition of table Message: fields, key and indexes. */
TableDef MessageTableDef();
/** The definition of table Mark. */
TableDef MarkTableDef();
/** The definition of table NGRule. */
TableDef NGRuleTableDef();
/**
 * Converts an older database of @p version after the user agreed: a backup copy first, then
 * each outdated table, the versions, and a compaction when tables were rebuilt. Shows every
 * failure itself; nullptr means the program must end.
 */
std::unique_ptr<Database> ConvertLogDatabase(std::unique_ptr<Database> db, const QString &version);

} // namespace mdlDatabase
