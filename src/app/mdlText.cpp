#include "app/mdlText.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace mdlText {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QString replaced(QString text, bool tabs)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n' || (tabs && c == u'\t'))
            c = u' ';
    }
    return text;
}

} // namespace

QString OneLine(QString text)
{
    return replaced(std::move(text), false);
}

QString OneField(QString text)
{
    return replaced(std::move(text), true);
}

QStringView TrimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

namespace {

bool hasLoneLineBreak(QStringView text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == u'\n')
            return true;
        if (c == u'\r') {
            if (i + 1 == size || text[i + 1] != u'\n')
                return true;
            ++i;
        }
    }
    return false;
}

} // namespace

QString WithCrLf(QString text)
{
    if (!hasLoneLineBreak(text))
        return text;
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    text.replace(u"\n"_s, u"\r\n"_s);
    return text;
}

} // namespace mdlText
