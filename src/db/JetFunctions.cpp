#include "db/JetFunctions.h"

#include "db/JetPattern.h"
#include "db/JetSql.h"

#include <QDateTime>
#include <cmath>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

bool anyNull(int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    }
    return false;
}

QString textOf(sqlite3_value *value)
{
    const void *text = sqlite3_value_text16(value);
    const int bytes = sqlite3_value_bytes16(value);
    return QString::fromUtf16(static_cast<const char16_t *>(text), bytes / 2);
}

/** The text of @p value without a copy (the database stores UTF-16). */
QStringView viewOf(sqlite3_value *value)
{
    const void *text = sqlite3_value_text16(value);
    return QStringView(static_cast<const char16_t *>(text), sqlite3_value_bytes16(value) / 2);
}

void resultText(sqlite3_context *ctx, const QString &text)
{
    sqlite3_result_text16(ctx, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

/** like(pattern, text[, escape]): the pattern is compiled once per statement. */
void like(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    auto *pattern = static_cast<JetPattern *>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {
        const QString escapeText = argc == 3 ? textOf(argv[2]) : QString();
        const char32_t escape = escapeText.isEmpty() ? 0 : escapeText.toUcs4().value(0);
        pattern = new JetPattern(textOf(argv[0]), escape);
        sqlite3_set_auxdata(ctx, 0, pattern, [](void *p) { delete static_cast<JetPattern *>(p); });
        // SQLite may drop the cache at once; then fetch it again so that it stays valid.
        pattern = static_cast<JetPattern *>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            const JetPattern once(textOf(argv[0]), escape);
            return sqlite3_result_int(ctx, once.Matches(viewOf(argv[1])));
        }
    }
    sqlite3_result_int(ctx, pattern->Matches(viewOf(argv[1])));
}

qsizetype wholeArg(sqlite3_value *value)
{
    return qsizetype(std::max<sqlite3_int64>(0, sqlite3_value_int64(value)));
}

void jetLeft(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    resultText(ctx, textOf(argv[0]).left(wholeArg(argv[1])));
}

void jetRight(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    resultText(ctx, textOf(argv[0]).right(wholeArg(argv[1])));
}

/** Mid(text, start[, length]) with a 1-based start. */
void mid(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const qsizetype start = std::max<qsizetype>(1, wholeArg(argv[1])) - 1;
    const QString text = textOf(argv[0]);
    resultText(ctx, argc == 3 ? text.mid(start, wholeArg(argv[2])) : text.mid(start));
}

void len(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, textOf(argv[0]).size());
}

/** InStr([start,] text, sought): 1-based position ignoring case, 0 when absent. */
void instr(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const qsizetype start = argc == 3 ? std::max<qsizetype>(1, wholeArg(argv[0])) - 1 : 0;
    const QString text = textOf(argv[argc - 2]);
    const QString sought = textOf(argv[argc - 1]);
    if (start > text.size())
        return sqlite3_result_int(ctx, 0);
    sqlite3_result_int64(ctx, text.indexOf(sought, start, Qt::CaseInsensitive) + 1);
}

void ucase(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    resultText(ctx, textOf(argv[0]).toUpper());
}

void lcase(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    resultText(ctx, textOf(argv[0]).toLower());
}

/** Nz(value[, default]): the default ("" without one) for NULL. */
void nz(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) != SQLITE_NULL)
        return sqlite3_result_value(ctx, argv[0]);
    if (argc == 2)
        return sqlite3_result_value(ctx, argv[1]);
    resultText(ctx, QString());
}

void isNull(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_result_int(ctx, sqlite3_value_type(argv[0]) == SQLITE_NULL);
}

void asc(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const QString text = textOf(argv[0]);
    if (text.isEmpty())
        return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, text.at(0).unicode());
}

void cstr(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    resultText(ctx, textOf(argv[0]));
}

/** CLng: rounds half to even, as Jet does. */
void clng(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, sqlite3_int64(std::nearbyint(sqlite3_value_double(argv[0]))));
}

/** Year, Month, Day, Hour, Minute, Second of a stored date; the part is the user data. */
void datePart(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const QDateTime dt = JetSql::ParseStoredDate(textOf(argv[0]));
    if (!dt.isValid())
        return sqlite3_result_null(ctx);
    int value = 0;
    switch (*static_cast<const char *>(sqlite3_user_data(ctx))) {
    case 'y': value = dt.date().year(); break;
    case 'm': value = dt.date().month(); break;
    case 'd': value = dt.date().day(); break;
    case 'h': value = dt.time().hour(); break;
    case 'n': value = dt.time().minute(); break;
    default: value = dt.time().second(); break;
    }
    sqlite3_result_int(ctx, value);
}

void now(sqlite3_context *ctx, int, sqlite3_value **)
{
    const QDateTime dt = QDateTime::currentDateTime();
    resultText(ctx, JetSql::StoredDate(dt.addMSecs(-dt.time().msec())));
}

void today(sqlite3_context *ctx, int, sqlite3_value **)
{
    resultText(ctx, JetSql::StoredDate(QDate::currentDate().startOfDay(Qt::UTC)));
}

using Function = void (*)(sqlite3_context *, int, sqlite3_value **);

struct Registration
{
    const char *name;
    int args;
    Function function;
    const char *userData;
    bool deterministic;
};

} // namespace

namespace JetFunctions {

int Register(sqlite3 *db)
{
    static const Registration functions[] = {
        {"like", 2, like, nullptr, true},      {"like", 3, like, nullptr, true},
        {"jet_left", 2, jetLeft, nullptr, true}, {"jet_right", 2, jetRight, nullptr, true},
        {"mid", 2, mid, nullptr, true},        {"mid", 3, mid, nullptr, true},
        {"len", 1, len, nullptr, true},        {"instr", 2, instr, nullptr, true},
        {"instr", 3, instr, nullptr, true},    {"ucase", 1, ucase, nullptr, true},
        {"lcase", 1, lcase, nullptr, true},    {"nz", 1, nz, nullptr, true},
        {"nz", 2, nz, nullptr, true},          {"isnull", 1, isNull, nullptr, true},
        {"asc", 1, asc, nullptr, true},        {"cstr", 1, cstr, nullptr, true},
        {"clng", 1, clng, nullptr, true},      {"year", 1, datePart, "y", true},
        {"month", 1, datePart, "m", true},     {"day", 1, datePart, "d", true},
        {"hour", 1, datePart, "h", true},      {"minute", 1, datePart, "n", true},
        {"second", 1, datePart, "s", true},    {"now", 0, now, nullptr, false},
        {"date", 0, today, nullptr, false},
    };
    for (const Registration &r : functions) {
        const int flags = SQLITE_UTF16 | (r.deterministic ? SQLITE_DETERMINISTIC : 0);
        const int rc = sqlite3_create_function_v2(db, r.name, r.args, flags,
                                                  const_cast<char *>(r.userData), r.function,
                                                  nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

} // namespace JetFunctions
