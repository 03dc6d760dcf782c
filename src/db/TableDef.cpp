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
    if (size)
        *size = 0;
    Q_UNUSED(declared)
    return FieldType::Variant;
}
