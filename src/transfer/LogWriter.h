#pragma once

#include "db/CMessage.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringView>
#include <vector>

/**
 * @short Writes messages as log-text entries that the analysis of their board type reads back:
 * the header lines with their fixed-width labels, the body, the separator; CP932, CR LF.
 *
 * What the file cannot hold as it is, is replaced and counted: characters CP932 lacks (by "?",
 * by the twin CP932 has, or left out, as the encoder does), a line break inside a header field
 * (by a blank: it would end the field's line) and a body line that reads as the separator line
 * (its first "=" by "＝": it would end the entry there). ReplacementText() says what was
 * replaced by what.
 */
class LogWriter
{
public:
    /** @short A writer for board type @p bbsType (see Supports()). */
    explicit LogWriter(int bbsType);

    /** @short True for the board types with a log layout: 0 to 3. */
    static bool Supports(int bbsType);

    /**
     * @short The CP932 bytes of the entries of @p Msgs, in their order, each followed by the
     * separator. A message whose post date no entry can hold (none, or a year beyond four
     * digits) is left out and counted in @p skipped.
     */
    QByteArray Write(const QList<CMessage> &Msgs, int *skipped = nullptr);

    /** @short Characters and lines replaced so far. */
    int ReplacedCount() const { return m_replacedCount; }
    /**
     * @short "N文字を置き換えました（「𠮷」→「?」×2、...）。" naming each kind of replacement,
     * the ten most frequent first; empty when nothing was replaced.
     */
    QString ReplacementText() const;

private:
    void appendEntry(QString &text, const CMessage &Msg) const;
    void headerValue(QString &value);
    void bodyText(QString &body);
    void scanCharacters(QStringView text);
    const QString &readBack(QStringView character);
    void count(const QString &from, const QString &to, int times = 1);

    int m_type;
    QString m_text; // the batch being written, kept for its room
    std::vector<quint8> m_bmpState;     // per UTF-16 unit: 0 not seen, 1 kept, 2 replaced
    QHash<QString, QString> m_readBack; // how replaced characters read back
    QMap<QPair<QString, QString>, int> m_replacements;
    int m_replacedCount = 0;
};
