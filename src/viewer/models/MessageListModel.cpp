#include "viewer/models/MessageListModel.h"

#include <QColor>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

const QString Keys[MessageListModel::ColumnCount] = {
    u"Read"_s, u"ID"_s, u"Subject"_s, u"HomePage"_s, u"Mail"_s, u"Name"_s,
    u"Date"_s, u"InReplyTo"_s, u"Body"_s, u"ParentThread"_s, u"Mark"_s,
};
const QString Headers[MessageListModel::ColumnCount] = {
    QString(), u"番号"_s, u"題名"_s, u"ホームページ"_s, u"メール"_s, u"投稿者"_s,
    u"投稿日"_s, u"レス元"_s, u"内容"_s, u"先頭スレッド"_s, u"マーク"_s,
};
constexpr QChar IdeographicSpace = u'\u3000';

/** @p value with at least six digits, as message numbers are shown. */
QString sixDigits(int value)
{
    const QString digits = QString::number(qAbs(qint64(value))).rightJustified(6, u'0');
    return value < 0 ? u'-' + digits : digits;
}

/** A text colour for an OLE colour value: none (the view's own) for system colours. */
QVariant foregroundOf(quint32 ole)
{
    if ((ole >> 24) == 0x80)
        return {};
    return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
}

/** The start of a body on one line. */
QString bodyPreview(const QString &body)
{
    QString text = body.left(MessageListModel::BodyPreviewLength);
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

} // namespace

QString MessageListModel::ColumnKey(int column)
{
    return column >= 0 && column < ColumnCount ? Keys[column] : QString();
}

QString MessageListModel::ColumnHeader(int column)
{
    return column >= 0 && column < ColumnCount ? Headers[column] : QString();
}

MessageListModel::MessageListModel(QObject *parent)
    : QAbstractTableModel(parent),
      m_headers(std::begin(Headers), std::end(Headers)),
      m_selection(new QItemSelectionModel(this, this))
{
}

int MessageListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MessageListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayText(row, column);
    case CellTextRole:
        return cellText(row, column);
    case KeyRole:
        return row.msg.Key();
    case BoardIconKeyRole:
        return u'#' + QString::number(row.msg.BBS_ID);
    case Qt::FontRole:
        return row.readMark == ReadMark::Unread ? QVariant(boldFont()) : QVariant();
    case Qt::ForegroundRole:
        return column == ColRead ? QVariant() : foregroundOf(row.foreColor);
    case Qt::ToolTipRole:
        if (column == ColSubject)
            return row.msg.Subject;
        return column == ColName ? QVariant(row.msg.PostName) : QVariant();
    case Qt::DecorationRole: {
        const auto icon = m_icons.constFind(u'#' + QString::number(row.msg.BBS_ID));
        return column != ColRead || icon == m_icons.cend() ? QVariant() : QVariant(*icon);
    }
    default:
        return {};
    }
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.isValid() ? flags | Qt::ItemNeverHasChildren : flags;
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    return role == ColumnKeyRole ? QVariant(Keys[section]) : QVariant();
}

bool MessageListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    m_headers[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

QString MessageListModel::cellText(const Row &row, int column) const
{
    const CMessage &m = row.msg;
    switch (column) {
    case ColRead: return row.readMark == ReadMark::Unread ? u"*"_s : row.readMark == ReadMark::Read ? u" "_s : QString();
    case ColID: return sixDigits(m.ID);
    case ColSubject: return row.indent ? QString(row.indent, IdeographicSpace) + m.Subject : m.Subject;
    case ColHomePage: return m.HomePage;
    case ColMail: return m.Mail;
    case ColName: return m.PostName;
    case ColDate: return m_dateFormat.Format(m.PostDate);
    case ColInReplyTo: return m.ReplyKey();
    case ColBody: return m.Body;
    case ColParentThread: return sixDigits(m.RootThread);
    case ColMark: return QString::number(m.Mark);
    default: return {};
    }
}

QString MessageListModel::displayText(const Row &row, int column) const
{
    return column == ColBody ? bodyPreview(row.msg.Body) : cellText(row, column);
}

void MessageListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;
    QStringList texts;
    texts.reserve(m_rows.size());
    for (const Row &row : std::as_const(m_rows))
        texts.append(cellText(row, column));
    QList<int> newOrder(m_rows.size());
    std::iota(newOrder.begin(), newOrder.end(), 0);
    std::stable_sort(newOrder.begin(), newOrder.end(), [&](int a, int b) {
        const int c = QString::compare(texts.at(a), texts.at(b), Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    applyOrder(newOrder);
}

bool MessageListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_rows.size())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    for (int i = row; i < row + count; ++i) {
        const Row &gone = m_rows.at(i);
        if (gone.readMark == ReadMark::Unread)
            --m_unreadCount;
        m_rowOf.remove(hashKey(gone.msg.BBS_ID, gone.msg.ID));
    }
    m_rows.remove(row, count);
    rebuildIndex(row);
    endRemoveRows();
    return true;
}

int MessageListModel::AddRow(const CMessage &msg)
{
    const quint64 key = hashKey(msg.BBS_ID, msg.ID);
    if (m_rowOf.contains(key))
        return -1;
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(Row{msg, SystemWindowText, 0, ReadMark::None});
    m_rowOf.insert(key, row);
    endInsertRows();
    return row;
}

void MessageListModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rowOf.clear();
    m_unreadCount = 0;
    endResetModel();
}

bool MessageListModel::RemoveRow(QStringView key)
{
    const int row = RowOfKey(key);
    return row >= 0 && removeRows(row, 1);
}

int MessageListModel::RowOfKey(QStringView key) const
{
    const std::optional<CMessage::KeyParts> parts = CMessage::ParseKey(key);
    return parts ? RowOf(parts->BBS_ID, parts->ID) : -1;
}

int MessageListModel::RowOf(int bbsId, int id) const
{
    return m_rowOf.value(hashKey(bbsId, id), -1);
}

QString MessageListModel::Key(int row) const
{
    return m_rows.at(row).msg.Key();
}

QString MessageListModel::CellText(int row, int column) const
{
    return cellText(m_rows.at(row), column);
}

QString MessageListModel::ReadText(int row) const
{
    return cellText(m_rows.at(row), ColRead);
}

int MessageListModel::SetReadMark(int row, bool read)
{
    Row &r = m_rows[row];
    const ReadMark old = r.readMark;
    const int delta = old == ReadMark::Unread && read ? -1 : old != ReadMark::Unread && !read ? 1 : 0;
    r.readMark = read ? ReadMark::Read : ReadMark::Unread;
    r.msg.Read = read;
    m_unreadCount += delta;
    if (old != r.readMark)
        emitRowChanged(row, {Qt::DisplayRole, CellTextRole, Qt::FontRole});
    return delta;
}

void MessageListModel::SetMark(int row, int markId, quint32 foreColor)
{
    Row &r = m_rows[row];
    r.msg.Mark = markId;
    r.foreColor = foreColor;
    emitRowChanged(row, {Qt::DisplayRole, CellTextRole, Qt::ForegroundRole});
}

QList<int> MessageListModel::SelectedRows() const
{
    QList<int> rows;
    for (const QItemSelectionRange &range : m_selection->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int MessageListModel::CurrentRow() const
{
    const QModelIndex current = m_selection->currentIndex();
    if (current.isValid())
        return current.row();
    const QList<int> selected = SelectedRows();
    return selected.isEmpty() ? -1 : selected.first();
}

void MessageListModel::SelectRow(int row)
{
    if (row < 0 || row >= m_rows.size()) {
        m_selection->clear();
        return;
    }
    m_selection->setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MessageListModel::SetDateFormat(const QString &format)
{
    m_dateFormat = VbDateFormat(format);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, ColDate), index(rowCount() - 1, ColDate), {Qt::DisplayRole, CellTextRole});
}

void MessageListModel::SetBoardIcons(const QHash<QString, QIcon> &icons)
{
    m_icons = icons;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, ColRead), index(rowCount() - 1, ColRead), {Qt::DecorationRole});
}

void MessageListModel::ShowThread()
{
    if (m_rows.isEmpty())
        return;
    QList<int> byId(m_rows.size());
    std::iota(byId.begin(), byId.end(), 0);
    std::stable_sort(byId.begin(), byId.end(),
                     [this](int a, int b) { return m_rows.at(a).msg.ID < m_rows.at(b).msg.ID; });

    // A row joins the thread of a row placed before it; later rows cannot be its parent.
    QHash<quint64, int> placed;
    QList<QList<int>> children(m_rows.size());
    QList<int> roots;
    for (int row : std::as_const(byId)) {
        const CMessage &m = m_rows.at(row).msg;
        const int parent = placed.value(hashKey(m.BBS_ID, m.InReplyTo), -1);
        (parent >= 0 ? children[parent] : roots).append(row);
        placed.insert(hashKey(m.BBS_ID, m.ID), row);
    }

    // Depth first; children are pushed oldest first, so the newest comes out first.
    QList<int> newOrder;
    newOrder.reserve(m_rows.size());
    QList<std::pair<int, int>> stack;
    for (auto it = roots.crbegin(); it != roots.crend(); ++it)
        stack.append({*it, 0});
    while (!stack.isEmpty()) {
        const auto [row, depth] = stack.takeLast();
        newOrder.append(row);
        m_rows[row].indent = quint16(qMin(depth, 0xFFFF));
        for (int child : std::as_const(children.at(row)))
            stack.append({child, depth + 1});
    }
    applyOrder(newOrder);
    emit dataChanged(index(0, ColSubject), index(rowCount() - 1, ColSubject), {Qt::DisplayRole, CellTextRole});
}

void MessageListModel::ClearIndents()
{
    for (Row &row : m_rows)
        row.indent = 0;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, ColSubject), index(rowCount() - 1, ColSubject), {Qt::DisplayRole, CellTextRole});
}

/** Puts the rows in @p order (new position -> old row); selection and persistent indexes follow. */
void MessageListModel::applyOrder(const QList<int> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newPosition(m_rows.size());
    QList<Row> rows;
    rows.reserve(m_rows.size());
    for (int position = 0; position < order.size(); ++position) {
        newPosition[order.at(position)] = position;
        rows.append(std::move(m_rows[order.at(position)]));
    }
    m_rows = std::move(rows);
    rebuildIndex(0);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from)
        to.append(this->index(newPosition.at(index.row()), index.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MessageListModel::rebuildIndex(int fromRow)
{
    for (int row = fromRow; row < m_rows.size(); ++row)
        m_rowOf.insert(hashKey(m_rows.at(row).msg.BBS_ID, m_rows.at(row).msg.ID), row);
}

void MessageListModel::emitRowChanged(int row, const QList<int> &roles)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1), roles);
}

const QFont &MessageListModel::boldFont() const
{
    if (!m_boldFont) {
        m_boldFont.emplace();
        m_boldFont->setBold(true);
    }
    return *m_boldFont;
}
