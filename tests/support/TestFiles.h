#pragma once

#include <QByteArray>
#include <QFile>
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
