#include "db/TableDef.h"

using namespace Qt::StringLiterals;

QString FieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Long: return u"Long"_s;
    case FieldType::Boolean: return u"Boolean"_s;
    case FieldType::Text: return u"Text"_s;
    case FieldType::Date: return u"Date"_s;
    case FieldType::Memo: return u"Memo"_s;
    case FieldType::Double: return u"Double"_s;
    case FieldType::Binary: return u"Binary"_s;
    case FieldType::Variant: break;
    }
    return u"Variant"_s;
}

FieldType FieldTypeFromDeclared(const QString &declared, int *size)
{
    const QString upper = declared.trimmed().toUpper();
    const QString base = upper.section(u'(', 0, 0).trimmed();
    int textSize = 0;
    if (upper.contains(u'('))
        textSize = upper.section(u'(', 1).section(u')', 0, 0).section(u',', 0, 0).trimmed().toInt();
    if (size)
        *size = 0;
    const auto has = [&base](const char16_t *part) { return base.contains(QStringView(part)); };
    if (has(u"MEMO") || has(u"LONGTEXT") || has(u"LONGCHAR") || has(u"NOTE") || has(u"CLOB"))
        return FieldType::Memo;
    if (has(u"BOOL") || base == u"BIT" || base == u"YESNO" || has(u"LOGICAL"))
        return FieldType::Boolean;
    if (has(u"BINARY") || has(u"BLOB") || has(u"IMAGE") || base.startsWith(u"OLE"))
        return FieldType::Binary;
    if (has(u"DATE") || has(u"TIME"))
        return FieldType::Date;
    if (has(u"CHAR") || has(u"TEXT") || has(u"STRING")) {
        if (textSize <= 0)
            return FieldType::Memo; // TEXT without a size has no limit in SQLite
        if (size)
            *size = textSize;
        return FieldType::Text;
    }
    if (has(u"INT") || has(u"LONG") || has(u"COUNTER") || has(u"BYTE") || has(u"SHORT"))
        return FieldType::Long;
    if (has(u"REAL") || has(u"FLOA") || has(u"DOUB") || has(u"SINGLE") || has(u"NUM")
        || has(u"DEC") || has(u"CURRENCY") || has(u"MONEY"))
        return FieldType::Double;
    return FieldType::Variant;
}
