#include "viewer/WindowDialogs.h"

#include "query/frmSQL.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

namespace {

/** "desc|pattern|desc|pattern" as the file dialog's filters: "desc (pattern pattern)". */
QString dialogFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts.at(i) + u" ("_s + QString(parts.at(i + 1)).replace(u';', u' ') + u')';
    return filters.join(u";;"_s);
}

class RealDialogs final : public WindowDialogs
{
public:
    QString ShowSQL(Database &db, const QString &DefaultSQL, QWidget *owner) override
    {
        return frmSQL::ShowSQL(db, DefaultSQL, owner);
    }

    QStringList OpenFiles(const QString &Filter, QWidget *owner) override
    {
        return QFileDialog::getOpenFileNames(owner, u"ファイルからインポート"_s, QString(), dialogFilters(Filter));
    }

    QString SaveFile(const QString &Filter, const QString &FileName, QWidget *owner) override
    {
        return QFileDialog::getSaveFileName(owner, u"エクスポート"_s, FileName, dialogFilters(Filter));
    }
};

RealDialogs realDialogs;
WindowDialogs *installed = nullptr;

} // namespace

WindowDialogs &windowDialogs()
{
    return installed ? *installed : realDialogs;
}

void setWindowDialogs(WindowDialogs *dialogs)
{
    installed = dialogs;
}
