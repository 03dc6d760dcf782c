#pragma once

#include "app/CFile.h"

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <optional>

/**
 * @short Writes a file piece by piece and puts it in place in one step, or not at all.
 *
 * The pieces go to a temporary file beside the target, each write checked on the descriptor
 * (so a full disk is seen at once); Commit() syncs it, renames it over the target and syncs the
 * folder. Cancel(), a failed write or destruction without Commit() removes the temporary file
 * and leaves the target as it was. A kill leaves at most a hidden temporary file, never a
 * half-written target.
 */
class AtomicFileWriter
{
public:
    explicit AtomicFileWriter(const QString &path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    /**
     * @short Creates the temporary file, with @p permissions when given (else those of the file
     * it replaces); false (the cause in Result()) when it cannot.
     */
    bool Open(std::optional<QFileDevice::Permissions> permissions = std::nullopt);
    /** @short Appends @p bytes; false once any write has failed. */
    bool Write(QByteArrayView bytes);
    /** @short Syncs and renames the file into place; the outcome also stays in Result(). */
    CFile::SaveResult Commit();
    /** @short Drops everything written; the target stays as it was. */
    void Cancel();
    /** @short The first failure so far (its errno and message); success while there is none. */
    const CFile::SaveResult &Result() const { return m_result; }

private:
    void fail(int error);

    QString m_path;
    QSaveFile m_file;
    CFile::SaveResult m_result;
};
