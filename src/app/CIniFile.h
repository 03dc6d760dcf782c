#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

/**
 * @short The settings file held in memory: named sections of key=value lines, CP932 on disk.
 *
 * Callers select a section with setNowSection() and then read and write its keys. Section
 * and key names are matched without regard to case. Changes stay in memory until Save()
 * writes a section back; saving replaces only that section's lines in the file and keeps
 * every other byte as it is. Lines starting with ";" are comments: they are not keys and
 * are kept (after the section header) when their section is rewritten.
 */
class CIniFile
{
public:
    /** Kinds of value read by InitData(). */
    enum IniType { IniText = 0, IniLong = 1, IniSingle = 2, IniBool = 3 };

    /**
     * Larger files are neither read nor written (no settings file comes near it); a file is
     * held in memory of a few times its size.
     */
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    /**
     * @short Reads the whole file @p IniFileName, replacing everything held.
     *
     * A missing file loads as empty and gives true; false when the file exists but cannot
     * be read, or is larger than MaxFileBytes (the user is told; saves are then refused).
     * Later saves go to this file. Clears IsExist(); keeps the current section.
     */
    bool Load(const QString &IniFileName);
    /**
     * @short Writes section @p Section (selecting it), or every section when it is empty.
     *
     * The file is re-read first, so changes others made to it meanwhile are kept outside
     * the written sections, and it is replaced atomically (under a lock shared with other
     * processes); a failed save leaves the file as it was. When the file loaded with damage
     * (bytes that are not CP932, lines in a section that are no settings), its bytes are first
     * kept as file + ".bad" (a timestamped name when that is taken) and the user is told.
     * False on failure (see LastError()), and when there is no section to write.
     */
    [[nodiscard]] bool Save(const QString &Section = QString());
    /**
     * @short Save(@p Section) for values that may wait (window positions, the find history,
     * default sections): when the file cannot be written now they stay held, and the save of
     * every section at exit writes them or says why it cannot.
     */
    void TrySave(const QString &Section);
    /** @short Why the last Save() failed: a Japanese message for the user; empty after success. */
    QString LastError() const { return m_lastError; }

    /** @short The current section's name, in the letter case in which it was first seen. */
    QString NowSection() const { return m_current; }
    /**
     * @short Selects @p Section, creating it empty when missing; sets IsExist() accordingly.
     *
     * Does nothing when @p Section equals the current name exactly; a blank name selects
     * no section.
     */
    void setNowSection(const QString &Section);
    /** @short Whether the last selection found the section, or its last save succeeded. */
    bool IsExist() const { return m_exists; }
    /** @short Section names in file order, then sections created in this run. */
    QStringList Sections() const { return m_sectionNames; }
    /** @short Keys of the current section in order (lines without "=" are not keys). */
    QStringList Keys() const;

    /** @short Removes @p Key from the current section; a missing key is no error. */
    void DeleteData(const QString &Key);
    /** @short Removes every entry of the current section. */
    void Clear();
    /** @short The value of @p Key in the current section, "" when missing. */
    QString Data(const QString &Key) const;
    /**
     * @short Sets @p Key to @p NewData, moving the key to the end of the current section.
     *
     * Returns false (with a warning) when no section is selected.
     */
    bool setData(const QString &Key, const QString &NewData);
    /**
     * @short The value of @p Key read as @p IniType (see IniType), or @p Default when the
     * text is blank or does not convert. Other types give the text unchanged.
     */
    QVariant InitData(const QString &Key, int IniType, const QVariant &Default) const;

    /** @short "True"/"False" in any case, or a number (zero is false). */
    static bool IsBool(const QString &Str);
    /** @short A number that rounds (halves to even) into the 16-bit range. */
    static bool IsInt(const QString &Str);
    /** @short A number that rounds (halves to even) into the 32-bit range. */
    static bool IsLng(const QString &Str);
    /** @short A number within the single-precision range. */
    static bool IsSng(const QString &Str);

private:
    struct Item
    {
        QString key;        // as last written or read
        QString value;      // the whole line for a line without "="
        bool isEntry;       // false for a line without "="
        QByteArray rawLine; // the line as read from the file, while unchanged, where writing it gives other bytes
    };
    struct Section
    {
        QString name;
        QMap<quint64, Item> items;          // in order of reading or last writing
        QHash<QString, quint64> keyOrder;   // lower-case key -> position in items
        quint64 nextOrder = 0;

        void put(Item item);
        void remove(const QString &key);
        const Item *find(const QString &key) const;
    };

    void parse(const QByteArray &bytes);
    Item entryItem(QStringView line, QByteArrayView raw);
    bool keepDamagedOriginal(const QByteArray &bytes);
    Section &sectionFor(const QString &name);
    Section *current();
    const Section *current() const;
    static void writeEntries(const Section &section, QByteArray &out, QByteArrayView eol, bool &lossy);

    QString m_fileName;
    QStringList m_sectionNames;
    QHash<QString, Section> m_sections; // by lower-case name
    QString m_current;
    bool m_exists = false;
    bool m_damaged = false; // loaded with lines that a save would not write back as they were
    QString m_lastError;
};
