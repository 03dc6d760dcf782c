#pragma once

#include <QString>

/**
 * @short A failed database operation: an error number and a description.
 *
 * The numbers that callers decide on follow the Jet engine's numbering (see the constants);
 * every other failure carries DbError::Other and the SQLite message as its description.
 */
struct DbError
{
    enum Number : int {
        None = 0,
        Other = 3000,            ///< any engine error without a number of its own
        ObjectExists = 3012,     ///< a table, index or stored query of that name exists
        DuplicateKey = 3022,     ///< a primary-key or unique constraint refused the row
        FileNotFound = 3024,     ///< the database file does not exist
        DiskFull = 3026,         ///< the disk has no room left for the file or its journal
        DiskIO = 3043,           ///< reading or writing the file failed (disk or network)
        Damaged = 3049,          ///< the database file is damaged (SQLite reports corruption)
        CannotOpen = 3051,       ///< no permission to open or write the file
        TooFewParameters = 3061, ///< a statement with parameters ran without their values
        NotSelectQuery = 3065,   ///< Execute was given a select statement
        NoSuchTable = 3078,      ///< a table or stored query named in a statement is missing
        InvalidName = 3125,      ///< an empty or unusable object name
        InvalidStatement = 3129, ///< an empty statement
        ExtraCharacters = 3142,  ///< more than one statement in one text
        TextTooLong = 3163,      ///< a text is longer than its field allows
        DatabaseExists = 3204,   ///< the file to create or compact into exists already
        Locked = 3218,           ///< the file is locked by another process
        InvalidOperation = 3219, ///< OpenRecordset was given an action statement; no open file
        ItemNotFound = 3265,     ///< no table, field or stored query of that name
        RequiredField = 3314,    ///< NULL in a field that requires a value
        ZeroLengthText = 3315,   ///< an empty text in a field that does not allow it
        NotADatabase = 3343,     ///< the file is not a database
    };

    int number = None;
    QString description;

    bool isError() const { return number != None; }
    explicit operator bool() const { return isError(); }
};
