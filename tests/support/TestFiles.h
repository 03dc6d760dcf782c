#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTest>

/** The whole content of @p path; empty when it cannot be read. */
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** Writes @p bytes as the whole content of @p path; a failure fails the calling test. */
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

/** What the stock sqlite3 tool prints for @p sql on database @p path, as another program reads it; trimmed. */
inline QString sqliteTool(const QString &path, const QString &sql, bool *ok = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral("sqlite3"), {path, sql});
    tool.waitForFinished();
    if (ok)
        *ok = tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}
