#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/**
 * @short Finds the addresses and reply anchors in a message body, which stays plain text: the
 * body pane draws what this finds as links over the text it shows unchanged.
 */
namespace BodyLinks {

/** @short One address or reply anchor: where it stands in the scanned text and what it opens. */
struct Link
{
    enum class Kind { Address, Anchor };
    Kind kind = Kind::Address;
    qsizetype start = 0;
    qsizetype length = 0;
    /** An address: what the shell opens ("ttp://" and "tp://" completed to http). */
    QString address;
    /** An anchor: the first and last message number (equal for one message). */
    int from = 0;
    int to = 0;
    bool operator==(const Link &) const = default;
};

/**
 * @short The links of @p text in order, none overlapping.
 *
 * Addresses start with http://, https://, ftp://, mailto:, www., or the board forms ttp://,
 * tp:// (ttps://, tps://), and end at a blank, a line break, a full-width character or a
 * character no address holds; a closing bracket without its opening one and punctuation at the
 * end stay outside. Anchors are ">>", "＞＞", "#" or "＃" before a number, or a range "123-125",
 * with ASCII or full-width digits; a single ">" is no anchor.
 */
QList<Link> Scan(QStringView text);

/** @short The anchor of @p href made by AnchorHref; false for any other text. */
bool ParseAnchorHref(QStringView href, int &from, int &to);
/** @short The href the body pane gives anchor @p link; no address ever reads this way. */
QString AnchorHref(const Link &link);

} // namespace BodyLinks
