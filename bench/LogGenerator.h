#pragma once

#include "support/LogFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class QIODevice;

/**
 * @short Makes realistic board messages and log texts, the same for the same seed.
 *
 * Each message depends only on the seed and its number, so any range can be made in any order.
 * Messages carry Japanese subjects and names, multi-line bodies, quotes ("> ") of the message
 * replied to and ">>number" references, some mail and home-page fields, and dates that increase
 * with the number (about ten minutes apart). Every character survives CP932 and EUC-JP.
 */
class LogGenerator
{
public:
    /** Largest message number a board can hold (six digits). */
    static constexpr int MaxNumber = 999999;

    explicit LogGenerator(quint32 seed = 1);

    /** Message @p number (1 to MaxNumber). */
    BoardMessage message(int number) const;
    /** Messages @p first .. @p first + @p count - 1, newest first (the order boards serve). */
    QList<BoardMessage> messages(int first, int count) const;
    /** The log text of those messages in the layout of board type @p type. */
    QString text(int type, int first, int count) const;
    /** The same text as CP932 bytes, the form of log files. */
    QByteArray cp932(int type, int first, int count) const;
    /** Writes the CP932 log text in batches without holding it whole; false on a write error. */
    bool write(QIODevice &out, int type, int first, int count) const;

private:
    QStringList ownLines(int number) const;

    quint32 m_seed;
    QDateTime m_start;
};
