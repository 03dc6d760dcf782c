#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

/** @short The outcome of one tessera-cli run; status -1 when it did not end normally. */
struct CliRun
{
    int status = -1;
    QString out;
    QString err;
};

/** @short A fresh home folder and tessera-cli runs on it. */
struct CliHome
{
    using Environment = QList<std::pair<QString, QString>>;

    QTemporaryDir dir;

    static QString program() // the tests are built in build/tests, tessera-cli in build/src
    {
        return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../src")).filePath(QStringLiteral("tessera-cli"));
    }

    QString file(const QString &name) const { return dir.filePath(name); }

    /** Starts tessera-cli on this folder, with @p environment added to this process's. */
    void start(QProcess &process, const QStringList &args, const Environment &environment = {}) const
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : environment)
            variables.insert(name, value);
        process.setProcessEnvironment(variables);
        process.start(program(), QStringList{QStringLiteral("--home"), dir.path()} + args);
    }

    /** Runs tessera-cli to its end while this event loop goes on. */
    CliRun run(const QStringList &args, const Environment &environment = {}) const
    {
        QProcess process;
        start(process, args, environment);
        if (!QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 60000)
            || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
};
