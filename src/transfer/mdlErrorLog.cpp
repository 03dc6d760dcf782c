#include "transfer/mdlErrorLog.h"

#include "app/mdlEncoding.h"
#include "transfer/LogParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mdlErrorLog {

bool AppendErrorLog(const QString &fileName, QStringView entryText)
{
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // One write, so that a failure cannot leave an entry without its separator behind.
    const QByteArray record = mdlMain::ToCp932(entryText.toString() + LogParser::Separator);
    return file.write(record) == record.size() && file.flush();
}

} // namespace mdlErrorLog
