#include "app/mdlText.h"

#include <utility>

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

} // namespace mdlText
