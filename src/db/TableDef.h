#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/** @short Field types of the log database, named as the query window shows them. */
enum class FieldType { Long, Boolean, Text, Date, Memo, Double, Binary, Variant };

/** "Long", "Boolean", "Text", "Date", "Memo", "Double", "Binary" or "Variant". */
QString FieldTypeName(FieldType type);
/**
 * The field type of an SQLite declared type ("INTEGER", "TEXT(50)", "YESNO", "DATETIME", ...),
 * with the size of a Text type in @p size; Variant for an unknown or empty declared type.
 */
FieldType FieldTypeFromDeclared(const QString &declared, int *size = nullptr);

/**
 * @short One field of a table definition, also the result of listing a table's fields.
 *
 * Stored as SQLite declared types INTEGER, BOOLEAN, TEXT(n), DATETIME, LONGTEXT, DOUBLE, BLOB.
 * A Text field refuses texts longer than @c size (error 3163); a Text or Memo field with
 * @c allowZeroLength false refuses the empty text (error 3315). The description is kept in
 * the table's schema text as a comment.
 */
struct FieldDef
{
    QString name;
    FieldType type = FieldType::Long;
    int size = 0; ///< Text only: the maximum number of characters (default 255)
    bool allowZeroLength = true;
    QString description;
};

/** @short An index of a table definition: fields in order, primary, unique. */
struct IndexDef
{
    QString name;
    QStringList fields;
    bool primary = false;
    bool unique = false;
};

/** @short A table to create: fields in column order and its indexes. */
struct TableDef
{
    QString name;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
};

/** @short A table as listed by the database: its name and its attribute value. */
struct TableInfo
{
    /** The attribute value of system tables (SQLite's own and our stored-query table). */
    static constexpr int SystemObject = int(0x80000002u);

    QString name;
    int attributes = 0; ///< 0 for an ordinary table
};
