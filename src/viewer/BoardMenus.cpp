#include "viewer/BoardMenus.h"

#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "db/BoardRepository.h"

#include <QMenu>
#include <QPixmap>

using namespace Qt::StringLiterals;

const QString BoardMenus::SeparatorTag = u"[区切り線]"_s;

BoardMenus::BoardMenus(QObject *parent)
    : QObject(parent)
{
}

QString BoardMenus::Caption(int n, const QString &name)
{
    QString escaped = name;
    escaped.replace(u'&', u"&&"_s);
    return u'&' + QString::number(n < 10 ? n : 0) + u". "_s + escaped;
}

QString BoardMenus::KeyOf(int BBS_ID)
{
    return u'#' + mdlApp::ZeroPadded(BBS_ID, 3);
}

bool BoardMenus::LoadBBSList(Database &db)
{
    m_db = &db;
    m_entries.clear();
    m_icons.clear();
    m_names.clear();
    const QIcon defaultIcon(u":/images/BBSList.svg"_s);
    int n = 0;
    for (const BoardRepository::Entry &listed : BoardRepository(db).ListedBoards()) {
        const int id = listed.BBS_ID;
        CBBSProperty board;
        if (!board.GetProperty(id, db))
            continue;
        ++n;
        // ListOrder is the board's position: each gap before it becomes a separator line.
        while (m_entries.size() < board.ListOrder())
            m_entries.append({true, 0, QString(), SeparatorTag, u"-"_s});
        const QString caption = Caption(n, board.BBS_Name());
        m_names.insert(id, board.BBS_Name());
        m_entries.append({false, id, KeyOf(id), caption, caption});
        const QImage icon = board.GetIconImage();
        m_icons.insert(u'#' + QString::number(id), icon.isNull() ? defaultIcon : QIcon(QPixmap::fromImage(icon)));
    }
    for (const Attached &attached : std::as_const(m_menus))
        fillMenu(attached);
    for (const Entry &entry : std::as_const(m_entries)) {
        if (!entry.IsSeparator)
            UpdateBBSMenuCaption(entry.BBS_ID, 0);
    }
    emit Rebuilt();
    return n >= 1;
}

int BoardMenus::IndexOfKey(const QString &key) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (!m_entries.at(i).IsSeparator && m_entries.at(i).Key == key)
            return i;
    }
    return -1;
}

void BoardMenus::UpdateBBSMenuCaption(int BBS_ID, int Delta)
{
    const int position = IndexOfKey(KeyOf(BBS_ID));
    if (position < 0)
        return;
    const Entry &entry = m_entries.at(position);
    const QString suffix = entry.Text.mid(entry.Tag.size()).trimmed();
    int count = 0;
    if (suffix.isEmpty() || Delta == 0) {
        CBBSProperty board;
        if (m_db && board.GetProperty(BBS_ID, *m_db))
            count = board.NoReadCount();
    } else {
        // The shown count is adjusted without asking the database.
        count = suffix.mid(1, suffix.size() - 2).toInt() + Delta;
    }
    setEntryText(position, count > 0 ? entry.Tag + u" ("_s + QString::number(count) + u')' : entry.Tag);
}

void BoardMenus::setEntryText(int position, const QString &text)
{
    m_entries[position].Text = text;
    for (const Attached &attached : std::as_const(m_menus)) {
        if (!attached.menu || !attached.showCounts)
            continue;
        // Item 0 is the hidden placeholder, so entry p is item p + 1.
        const QList<QAction *> items = attached.menu->actions();
        if (position + 1 < items.size())
            items.at(position + 1)->setText(text);
    }
}

void BoardMenus::AttachMenu(QMenu *menu, const QString &itemName, bool showCounts, std::function<void(int)> onChosen)
{
    m_menus.append({menu, itemName, showCounts, std::move(onChosen)});
    fillMenu(m_menus.constLast());
    connect(menu, &QMenu::aboutToShow, menu, [menu] { checkCurrentBoard(menu); });
}

/** Checks the item of the shown board and unchecks the others. */
void BoardMenus::checkCurrentBoard(QMenu *menu)
{
    for (QAction *item : menu->actions()) {
        if (item->isCheckable())
            item->setChecked(item->data().toInt() == mdlOption::BBS_ID);
    }
}

void BoardMenus::fillMenu(const Attached &attached)
{
    QMenu *menu = attached.menu;
    if (!menu)
        return;
    // Later, not now: the rebuild may run inside the handler of one of these items.
    for (QAction *item : menu->actions()) {
        menu->removeAction(item);
        if (item->parent() == menu)
            item->deleteLater();
    }
    auto *placeholder = new QAction(u"だみー"_s, menu);
    placeholder->setObjectName(attached.itemName + u"(0)"_s);
    placeholder->setVisible(false);
    menu->addAction(placeholder);
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries.at(i);
        // A separator carries no text: some styles draw a separator's text as a section title.
        auto *item = new QAction(entry.IsSeparator ? QString() : attached.showCounts ? entry.Text : entry.Tag, menu);
        item->setObjectName(attached.itemName + u'(' + QString::number(i + 1) + u')');
        item->setSeparator(entry.IsSeparator);
        item->setData(entry.BBS_ID);
        if (!entry.IsSeparator) {
            item->setCheckable(true);
            item->setIcon(m_icons.value(u'#' + QString::number(entry.BBS_ID)));
            const int id = entry.BBS_ID;
            const auto onChosen = attached.onChosen;
            connect(item, &QAction::triggered, menu, [onChosen, id] {
                if (onChosen)
                    onChosen(id);
            });
        }
        menu->addAction(item);
    }
    checkCurrentBoard(menu);
}
