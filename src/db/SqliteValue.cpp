#include "db/SqliteValue.h"

#include "db/JetSql.h"

#include <sqlite3.h>

namespace SqliteValue {

int Bind(sqlite3_stmt *stmt, int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(stmt, index);
    switch (value.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(stmt, index, qint64(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(stmt, index, value.toDouble());
    case QMetaType::QDateTime:
        return Bind(stmt, index, JetSql::StoredDate(value.toDateTime()));
    case QMetaType::QDate:
        return Bind(stmt, index, JetSql::StoredDate(value.toDate().startOfDay(Qt::UTC)));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                                   SQLITE_TRANSIENT);
    }
    default: {
        const QString text = value.toString();
        return sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    }
    }
}

std::optional<FieldType> ColumnType(sqlite3_stmt *stmt, int column)
{
    const void *declared = sqlite3_column_decltype16(stmt, column);
    if (!declared)
        return std::nullopt;
    return FieldTypeFromDeclared(QString::fromUtf16(static_cast<const char16_t *>(declared)));
}

static QString columnText(sqlite3_stmt *stmt, int column)
{
    const void *text = sqlite3_column_text16(stmt, column);
    const int bytes = sqlite3_column_bytes16(stmt, column);
    return QString::fromUtf16(static_cast<const char16_t *>(text), bytes / 2);
}

QVariant Read(sqlite3_stmt *stmt, int column, std::optional<FieldType> type)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER: {
        const qint64 n = sqlite3_column_int64(stmt, column);
        if (type == FieldType::Boolean)
            return n != 0;
        return qlonglong(n);
    }
    case SQLITE_FLOAT:
        if (type == FieldType::Boolean)
            return sqlite3_column_double(stmt, column) != 0;
        return sqlite3_column_double(stmt, column);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, column)),
                          sqlite3_column_bytes(stmt, column));
    default:
        break;
    }
    const QString text = columnText(stmt, column);
    if (type == FieldType::Date) {
        const QDateTime dt = JetSql::ParseStoredDate(text);
        if (dt.isValid())
            return dt;
    }
    return text;
}

QString ColumnName(sqlite3_stmt *stmt, int column)
{
    return QString::fromUtf16(static_cast<const char16_t *>(sqlite3_column_name16(stmt, column)));
}

} // namespace SqliteValue
