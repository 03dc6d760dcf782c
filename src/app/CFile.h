#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QFileDevice>
#include <QString>
#include <optional>

/**
 * @short A file path with its parts, existence tests, move, delete and folder creation.
 *
 * Paths use "/" between folders. The object keeps the current path (FullPath) and the path the
 * file had when FullPath was last assigned or the file last moved (SourcePath): changing a part
 * (Name, Ext, ...) changes FullPath only, and Move then moves the file from SourcePath there.
 * While FullPath is empty every other member gives "" (or 0, False, an invalid date) and
 * changes nothing.
 */
class CFile
{
public:
    CFile() = default;
    explicit CFile(const QString &fullPath) { SetFullPath(fullPath); }

    QString FullPath() const { return m_fullPath; }
    /** @short Sets the current path and SourcePath. */
    void SetFullPath(const QString &path);
    QString SourcePath() const { return m_sourcePath; }

    /** @short "C:" for a path with a drive letter; "" for others (every usual Linux path). */
    QString Drive() const;
    /** @short Replaces the drive letter by the first character of @p drive (drive paths only). */
    void SetDrive(const QString &drive);
    /** @short The folder part with its final "/"; "" for a bare name. */
    QString Path() const;
    /** @short Puts the name into @p folder (a final "/" is added when missing; "" leaves the bare name). */
    void SetPath(const QString &folder);
    /** @short Everything after the last "/". */
    QString Name() const;
    void SetName(const QString &name);
    /** @short The name up to its last "."; the whole name when it has none. */
    QString NameNotExt() const;
    /** @short Replaces the name before the extension, keeping the extension. */
    void SetNameNotExt(const QString &nameNotExt);
    /** @short The extension with its dot ("" without one); "[DIR]" when the path is a folder. */
    QString Ext() const;
    /** @short Sets the extension @p ext (without its dot; "" removes it); not for folders. */
    void SetExt(const QString &ext);
    /** @short The full path (short 8.3 names do not exist here). */
    QString ShortName() const { return m_fullPath; }

    /** @short The file's length in bytes; 0 when there is no such file. */
    qint64 Size() const;
    /**
     * @short The file's time of creation (birth time where the file system keeps it, else the
     * last change of its metadata); invalid when there is no such file. Local time.
     */
    QDateTime DateCreated() const;
    QDateTime DateLastAccessed() const;
    QDateTime DateLastModified() const;

    /**
     * @short True when the folder holds a file (not a folder) whose name equals Name without
     * regard to case, so "B.TXT" finds "b.txt".
     */
    bool IsExist() const;
    /** @short True when the folder part exists (the current folder for a bare name). */
    bool IsExistDir() const;
    /** @short Deletes the file at FullPath; True on success. */
    [[nodiscard]] bool Delete() const;
    /**
     * @short Moves the file from SourcePath to FullPath; True only when it moved.
     *
     * Refused when the paths are equal, the source is no file, or anything exists at the
     * target, also a file whose name differs in case only (it would be overwritten on a
     * case-insensitive file system). Never replaces anything. Across file systems the file is
     * copied to a temporary name beside the target, synced and renamed, and only then the
     * source deleted, so a failure never leaves a partial target. On success SourcePath
     * becomes FullPath.
     */
    [[nodiscard]] bool Move();
    /** @short Creates the folder part with all missing parents; False when it already existed. */
    [[nodiscard]] bool MakeDir() const;

    /** @short The outcome of SaveAtomically(): errno of the failed step, 0 on success. */
    struct SaveResult
    {
        int error = 0;
        /** A Japanese message naming @p path and the cause; empty on success. */
        QString message;
        explicit operator bool() const { return error == 0; }
    };
    /**
     * @short Replaces the file @p path with @p bytes in one step, or leaves it as it was.
     *
     * The bytes go to a temporary file beside @p path; every write is checked, the file is
     * synced and only then renamed over @p path, and the folder is synced. A full disk, a
     * failed write or sync removes the temporary file and leaves @p path untouched. The new
     * file gets @p permissions when given, else those of the file it replaces.
     */
    static SaveResult SaveAtomically(const QString &path, QByteArrayView bytes,
                                     std::optional<QFileDevice::Permissions> permissions = std::nullopt);
    /**
     * @short The message for a failed save of @p path with errno @p error: a full disk says
     * "ディスクの空き容量が不足しています。", other causes name the file and the system's text.
     */
    static QString SaveErrorText(const QString &path, int error);
    /** @short Syncs the folder @p folder so that a rename into it survives a power cut. */
    static bool SyncFolder(const QString &folder);

private:
    QString nameExtension() const;
    bool targetTaken() const;

    QString m_fullPath;
    QString m_sourcePath;
};
