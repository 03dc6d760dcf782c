#include "models/MessageListModel.h"

#include "app/mdlApp.h"

#include <QColor>
#include <QSet>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

const QString Keys[MessageListModel::ColumnCount] = {
    u"Read"_s, u"ID"_s, u"Subject"_s, u"HomePage"_s, u"Mail"_s, u"Name"_s,
    u"Date"_s, u"InReplyTo"_s, u"Body"_s, u"ParentThread"_s, u"Mark"_s, u"BBS"_s,
};
const QString Headers[MessageListModel::ColumnCount] = {
    QString(), u"番号"_s, u"題名"_s, u"ホームページ"_s, u"メール"_s, u"投稿者"_s,
    u"投稿日"_s, u"レス元"_s, u"内容"_s, u"先頭スレッド"_s, u"マーク"_s, u"掲示板"_s,
};
constexpr QChar IdeographicSpace = u'\u3000';
/** Messages whose NG verdict a list keeps; beyond it the verdicts start again. */
constexpr qsizetype MaxNgVerdicts = 200000;

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
    const Row &row = rowAt(index.row());
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
    case NgRole:
        return int(row.ng);
    case Qt::AccessibleDescriptionRole: // a screen reader says what the NG mark of the view shows
        return row.ng == NgMark::Hidden ? QVariant(u"NG"_s) : QVariant();
    case Qt::FontRole:
        return row.readMark == ReadMark::Unread ? QVariant(boldFont()) : QVariant();
    case Qt::ForegroundRole:
        return column == ColRead ? QVariant() : foregroundOf(row.foreColor);
    case Qt::ToolTipRole:
        if (column != ColSubject && column != ColName)
            return {};
        return replaced(row) ? NgAboneText : column == ColSubject ? row.msg.Subject : row.msg.PostName;
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
    case ColID: return mdlApp::ZeroPadded(m.ID, 6);
    case ColSubject: {
        const QString &subject = replaced(row) ? NgAboneText : m.Subject;
        return row.indent ? QString(row.indent, IdeographicSpace) + subject : subject;
    }
    case ColHomePage: return m.HomePage;
    case ColMail: return m.Mail;
    case ColName: return replaced(row) ? NgAboneText : m.PostName;
    case ColDate: return m_dateFormat.Format(m.PostDate);
    case ColInReplyTo: return m.ReplyKey();
    case ColBody: return replaced(row) ? NgAboneText : m.Body;
    case ColParentThread: return mdlApp::ZeroPadded(m.RootThread, 6);
    case ColMark: return QString::number(m.Mark);
    case ColBBS: return m_boardNames.value(m.BBS_ID, QString::number(m.BBS_ID));
    default: return {};
    }
}

QString MessageListModel::displayText(const Row &row, int column) const
{
    if (column == ColBody)
        return bodyPreview(replaced(row) ? NgAboneText : row.msg.Body);
    // A message that replies to nothing shows a blank cell; its key stays in the cell text for lookups.
    if (column == ColInReplyTo && row.msg.InReplyTo == 0)
        return {};
    return cellText(row, column);
}

void MessageListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;
    QStringList texts;
    texts.reserve(rowCount());
    for (const auto &row : m_rows)
        texts.append(cellText(*row, column));
    QList<int> newOrder(rowCount());
    std::iota(newOrder.begin(), newOrder.end(), 0);
    std::stable_sort(newOrder.begin(), newOrder.end(), [&](int a, int b) {
        const int c = QString::compare(texts.at(a), texts.at(b), Qt::CaseInsensitive);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    applyOrder(newOrder);
}

void MessageListModel::ReverseRows()
{
    QList<int> newOrder(rowCount());
    std::iota(newOrder.rbegin(), newOrder.rend(), 0);
    applyOrder(newOrder);
}

bool MessageListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    removeRun(row, row + count - 1);
    return true;
}

/** Removes rows @p first to @p last; the index of the rows after them waits for the next lookup. */
void MessageListModel::removeRun(int first, int last)
{
    beginRemoveRows({}, first, last);
    for (int i = first; i <= last; ++i) {
        const Row &gone = rowAt(i);
        if (gone.readMark == ReadMark::Unread)
            --m_unreadCount;
        m_rowOf.remove(hashKey(gone.msg.BBS_ID, gone.msg.ID));
    }
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
    m_indexedRows = qMin(m_indexedRows, first);
    endRemoveRows();
}

int MessageListModel::AddRow(const CMessage &msg)
{
    if (RowOf(msg.BBS_ID, msg.ID) >= 0)
        return -1;
    auto added = std::make_unique<Row>(Row{msg, SystemWindowText, 0, ReadMark::None, ngMarkOf(msg)});
    if (!listed(*added))
        return -1;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_rows.push_back(std::move(added));
    m_rowOf.insert(hashKey(msg.BBS_ID, msg.ID), row);
    m_indexedRows = row + 1;
    endInsertRows();
    return row;
}

QList<CMessage> MessageListModel::AddRows(const QList<CMessage> &msgs)
{
    QList<CMessage> added;
    std::vector<std::unique_ptr<Row>> rows;
    QSet<quint64> keys;
    for (const CMessage &msg : msgs) {
        if (RowOf(msg.BBS_ID, msg.ID) >= 0 || keys.contains(hashKey(msg.BBS_ID, msg.ID)))
            continue;
        auto row = std::make_unique<Row>(Row{msg, SystemWindowText, 0, ReadMark::None, ngMarkOf(msg)});
        if (!listed(*row))
            continue;
        keys.insert(hashKey(msg.BBS_ID, msg.ID));
        added.append(msg);
        rows.push_back(std::move(row));
    }
    if (added.isEmpty())
        return added;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(added.size()) - 1);
    for (auto &row : rows) {
        m_rowOf.insert(hashKey(row->msg.BBS_ID, row->msg.ID), rowCount());
        m_rows.push_back(std::move(row));
    }
    m_indexedRows = rowCount();
    endInsertRows();
    return added;
}

void MessageListModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rowOf.clear();
    m_indexedRows = 0;
    m_unreadCount = 0;
    endResetModel();
}

bool MessageListModel::RemoveRow(QStringView key)
{
    const int row = RowOfKey(key);
    return row >= 0 && removeRows(row, 1);
}

int MessageListModel::RemoveKeys(const QStringList &keys)
{
    QList<int> rows;
    for (const QString &key : keys) {
        if (const int row = RowOfKey(key); row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one run of adjacent rows at a time: rows above a run keep their place.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows.at(begin - 1) == rows.at(begin) - 1)
            --begin;
        removeRun(rows.at(begin), rows.at(end - 1));
        end = begin;
    }
    return int(rows.size());
}

int MessageListModel::RowOfKey(QStringView key) const
{
    const std::optional<CMessage::KeyParts> parts = CMessage::ParseKey(key);
    return parts ? RowOf(parts->BBS_ID, parts->ID) : -1;
}

int MessageListModel::RowOf(int bbsId, int id) const
{
    updateIndex();
    return m_rowOf.value(hashKey(bbsId, id), -1);
}

QString MessageListModel::Key(int row) const
{
    return rowAt(row).msg.Key();
}

QString MessageListModel::CellText(int row, int column) const
{
    return cellText(rowAt(row), column);
}

QString MessageListModel::ReadText(int row) const
{
    return cellText(rowAt(row), ColRead);
}

int MessageListModel::SetReadMark(int row, bool read)
{
    Row &r = rowAt(row);
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
    Row &r = rowAt(row);
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
    if (row < 0 || row >= rowCount()) {
        m_selection->clear();
        return;
    }
    m_selection->setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void MessageListModel::SetDateFormat(const QString &format)
{
    m_dateFormat = VbDateFormat(format);
    if (!m_rows.empty())
        emit dataChanged(index(0, ColDate), index(rowCount() - 1, ColDate), {Qt::DisplayRole, CellTextRole});
}

void MessageListModel::SetBoardIcons(const QHash<QString, QIcon> &icons)
{
    m_icons = icons;
    if (!m_rows.empty())
        emit dataChanged(index(0, ColRead), index(rowCount() - 1, ColRead), {Qt::DecorationRole});
}

void MessageListModel::SetBoardNames(const QHash<int, QString> &names)
{
    m_boardNames = names;
    if (!m_rows.empty())
        emit dataChanged(index(0, ColBBS), index(rowCount() - 1, ColBBS), {Qt::DisplayRole});
}

bool MessageListModel::MixesBoards() const
{
    return std::any_of(m_rows.cbegin(), m_rows.cend(),
                       [this](const auto &row) { return row->msg.BBS_ID != m_rows.front()->msg.BBS_ID; });
}

void MessageListModel::ShowThread()
{
    if (m_rows.empty())
        return;
    QList<int> byId(rowCount());
    std::iota(byId.begin(), byId.end(), 0);
    std::stable_sort(byId.begin(), byId.end(), [this](int a, int b) { return rowAt(a).msg.ID < rowAt(b).msg.ID; });

    // A row joins the thread of a row placed before it; later rows cannot be its parent.
    QHash<quint64, int> placed;
    QList<QList<int>> children(rowCount());
    QList<int> roots;
    for (int row : std::as_const(byId)) {
        const CMessage &m = rowAt(row).msg;
        const int parent = placed.value(hashKey(m.BBS_ID, m.InReplyTo), -1);
        (parent >= 0 ? children[parent] : roots).append(row);
        placed.insert(hashKey(m.BBS_ID, m.ID), row);
    }

    // Depth first; children are pushed oldest first, so the newest comes out first.
    QList<int> newOrder;
    newOrder.reserve(rowCount());
    QList<std::pair<int, int>> stack;
    for (auto it = roots.crbegin(); it != roots.crend(); ++it)
        stack.append({*it, 0});
    while (!stack.isEmpty()) {
        const auto [row, depth] = stack.takeLast();
        newOrder.append(row);
        rowAt(row).indent = quint16(qMin(depth, 0xFFFF));
        for (int child : std::as_const(children.at(row)))
            stack.append({child, depth + 1});
    }
    applyOrder(newOrder);
    emit dataChanged(index(0, ColSubject), index(rowCount() - 1, ColSubject), {Qt::DisplayRole, CellTextRole});
}

void MessageListModel::ClearIndents()
{
    for (const auto &row : m_rows)
        row->indent = 0;
    if (!m_rows.empty())
        emit dataChanged(index(0, ColSubject), index(rowCount() - 1, ColSubject), {Qt::DisplayRole, CellTextRole});
}

/** Puts the rows in @p order (new position -> old row); selection and persistent indexes follow. */
void MessageListModel::applyOrder(const QList<int> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newPosition(rowCount());
    std::vector<std::unique_ptr<Row>> rows;
    rows.reserve(m_rows.size());
    for (int position = 0; position < order.size(); ++position) {
        newPosition[order.at(position)] = position;
        rows.push_back(std::move(m_rows[size_t(order.at(position))]));
    }
    m_rows = std::move(rows);
    m_indexedRows = 0;
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from)
        to.append(this->index(newPosition.at(index.row()), index.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MessageListModel::updateIndex() const
{
    for (; m_indexedRows < rowCount(); ++m_indexedRows)
        m_rowOf.insert(hashKey(rowAt(m_indexedRows).msg.BBS_ID, rowAt(m_indexedRows).msg.ID), m_indexedRows);
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

void MessageListModel::SetNgRules(const QList<NgRule> &rules)
{
    m_ngRules = rules;
    m_ngMatchers.clear();
    m_ngVerdicts.clear();
}

MessageListModel::NgMark MessageListModel::ngMarkOf(const CMessage &msg)
{
    if (m_ngRules.isEmpty())
        return NgMark::None;
    const quint64 key = hashKey(msg.BBS_ID, msg.ID);
    const size_t lengths = qHashMulti(0, msg.PostName.size(), msg.Mail.size(), msg.Subject.size(), msg.Body.size(),
                                      msg.HomePage.size());
    if (const auto known = m_ngVerdicts.constFind(key); known != m_ngVerdicts.cend() && known->lengths == lengths)
        return known->mark;
    if (m_ngVerdicts.size() >= MaxNgVerdicts)
        m_ngVerdicts.clear();
    auto matcher = m_ngMatchers.find(msg.BBS_ID);
    if (matcher == m_ngMatchers.end()) {
        QList<NgRule> inForce;
        for (const NgRule &rule : std::as_const(m_ngRules)) {
            if (!rule.BBS_ID || *rule.BBS_ID == msg.BBS_ID)
                inForce.append(rule);
        }
        matcher = m_ngMatchers.insert(msg.BBS_ID, NgMatcher(inForce));
    }
    const std::optional<NgAction> action = matcher->Match(msg);
    const NgMark mark = !action ? NgMark::None : *action == NgAction::Hide ? NgMark::Hidden : NgMark::Abone;
    m_ngVerdicts.insert(key, {mark, lengths});
    return mark;
}

void MessageListModel::SetRevealed(int row, bool revealed)
{
    rowAt(row).revealed = revealed;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}
