#include "settings_ui/frmProperty.h"

#include "app/Prompter.h"
#include "db/BoardRepository.h"
#include "db/CBBSProperty.h"
#include "settings_ui/PropertyWidgets.h"

#include <QGridLayout>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;
using namespace PropertyWidgets;

namespace {

const QString SeparatorText = u"[区切り線]"_s;
constexpr int SeparatorID = -1;
// Separator entries shown for one gap of the stored order at most: a stray huge ListOrder
// must not fill the list with millions of entries. Smaller gaps keep their exact positions.
constexpr int MaxGap = 100;

QListWidgetItem *entry(const QString &text, int BBS_ID)
{
    auto *item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, BBS_ID);
    return item;
}

int idOf(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toInt();
}

QListWidgetItem *selectedItem(const QListWidget *list)
{
    return list->selectedItems().value(0);
}

/** Selects the item at @p row, or the last one when @p row is past the end. */
void selectRow(QListWidget *list, int row)
{
    if (list->count() > 0)
        list->setCurrentRow(qMin(row, list->count() - 1));
}

QList<int> boardIDs(const QListWidget *list, bool selectedOnly)
{
    QList<int> ids;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem *item = list->item(i);
        if (idOf(item) != SeparatorID && (!selectedOnly || item->isSelected()))
            ids.append(idOf(item));
    }
    return ids;
}

} // namespace

void frmProperty::createVisitTab(QWidget *frame)
{
    auto *layout = new QVBoxLayout(frame);
    lstVisitLoad = named(new QListWidget(frame), u"lstVisitLoad"_s, u"巡回受信をする掲示板(&V):"_s);
    lstVisitLoad->setSelectionMode(QAbstractItemView::MultiSelection);
    layout->addWidget(label(frame, u"巡回受信をする掲示板(&V):"_s, lstVisitLoad));
    layout->addWidget(lstVisitLoad);
    layout->addWidget(new QLabel(u"表示対象外の掲示板は巡回受信の対象として指定できません。"_s, frame));
    connect(lstVisitLoad, &QListWidget::itemSelectionChanged, this, &frmProperty::syncVisitCheck);
}

void frmProperty::createOrderTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    lstOrder = named(new QListWidget(frame), u"lstOrder"_s, u"表示される掲示板(&V):"_s);
    lstAll = named(new QListWidget(frame), u"lstAll"_s, u"登録されている掲示板(&T):"_s);
    grid->addWidget(label(frame, u"表示される掲示板(&V):"_s, lstOrder), 0, 0);
    grid->addWidget(lstOrder, 1, 0);
    grid->addWidget(label(frame, u"登録されている掲示板(&T):"_s, lstAll), 0, 2);
    grid->addWidget(lstAll, 1, 2);
    auto *buttons = new QVBoxLayout;
    cmdAdd = button(frame, u"cmdAdd"_s, u"← 追加(&A)"_s);
    cmdDelete = button(frame, u"cmdDelete"_s, u"削除(&R) →"_s);
    cmdUp = button(frame, u"cmdUp"_s, u"↑ 上へ(&U)"_s);
    cmdDown = button(frame, u"cmdDown"_s, u"↓ 下へ(&D)"_s);
    buttons->addStretch();
    for (QPushButton *b : {cmdAdd, cmdDelete, cmdUp, cmdDown}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    grid->addLayout(buttons, 1, 1);
    connect(lstOrder, &QListWidget::itemSelectionChanged, this, &frmProperty::UpdateOrderButtons);
    connect(lstAll, &QListWidget::itemSelectionChanged, this, &frmProperty::UpdateOrderButtons);
    connect(cmdAdd, &QPushButton::clicked, this, &frmProperty::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmProperty::cmdDelete_Click);
    connect(cmdUp, &QPushButton::clicked, this, [this] { moveOrderItem(-1); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { moveOrderItem(1); });
}

void frmProperty::initVisitTab()
{
    const QSignalBlocker blocker(lstVisitLoad);
    lstVisitLoad->clear();
    QList<BoardRepository::Entry> listed = BoardRepository(m_db).ListedBoards();
    std::sort(listed.begin(), listed.end(), [](const auto &a, const auto &b) { return a.BBS_ID < b.BBS_ID; });
    for (const BoardRepository::Entry &board : std::as_const(listed)) {
        QListWidgetItem *item = entry(board.BBS_Name, board.BBS_ID);
        lstVisitLoad->addItem(item);
        item->setSelected(board.VisitLoad);
    }
}

/** lstOrder holds each listed board at the position of its ListOrder, separators in the gaps. */
void frmProperty::initOrderTab()
{
    lstOrder->clear();
    lstAll->clear();
    BoardRepository boards(m_db);
    for (const BoardRepository::Entry &board : boards.ListedBoards()) {
        const int gapEnd = int(qMin(board.ListOrder, qint64(lstOrder->count()) + MaxGap));
        while (lstOrder->count() < gapEnd)
            lstOrder->addItem(entry(SeparatorText, SeparatorID));
        lstOrder->addItem(entry(board.BBS_Name, board.BBS_ID));
    }
    for (const BoardRepository::Entry &board : boards.HiddenBoards())
        lstAll->addItem(entry(board.BBS_Name, board.BBS_ID));
    lstAll->addItem(entry(SeparatorText, SeparatorID));
    UpdateOrderButtons();
}

void frmProperty::UpdateOrderButtons()
{
    const QListWidgetItem *shown = selectedItem(lstOrder);
    const int row = shown ? lstOrder->row(shown) : -1;
    cmdAdd->setEnabled(selectedItem(lstAll) != nullptr);
    cmdDelete->setEnabled(shown != nullptr);
    cmdUp->setEnabled(shown && row > 0);
    cmdDown->setEnabled(shown && row < lstOrder->count() - 1);
}

/** Shows the selected board (or a separator) after lstOrder's selected entry. */
void frmProperty::cmdAdd_Click()
{
    QListWidgetItem *chosen = selectedItem(lstAll);
    if (!chosen)
        return;
    const QListWidgetItem *after = selectedItem(lstOrder);
    const int at = after ? lstOrder->row(after) + 1 : lstOrder->count();
    const int id = idOf(chosen);
    const QString name = chosen->text();
    lstOrder->insertItem(at, entry(name, id));
    lstOrder->setCurrentRow(at);
    if (id != SeparatorID) {
        const int row = lstAll->row(chosen);
        delete lstAll->takeItem(row);
        selectRow(lstAll, row);
        addVisitItem(id, name);
    }
    UpdateOrderButtons();
}

/** Hides lstOrder's selected board (back into lstAll in BBS_ID order) or drops a separator. */
void frmProperty::cmdDelete_Click()
{
    QListWidgetItem *chosen = selectedItem(lstOrder);
    if (!chosen)
        return;
    const int row = lstOrder->row(chosen);
    const int id = idOf(chosen);
    const QString name = chosen->text();
    delete lstOrder->takeItem(row);
    selectRow(lstOrder, row);
    if (id != SeparatorID) {
        int at = 0;
        while (at < lstAll->count() && idOf(lstAll->item(at)) != SeparatorID && idOf(lstAll->item(at)) < id)
            ++at;
        lstAll->insertItem(at, entry(name, id));
        removeVisitItem(id);
    }
    UpdateOrderButtons();
}

void frmProperty::moveOrderItem(int step)
{
    QListWidgetItem *chosen = selectedItem(lstOrder);
    if (!chosen)
        return;
    const int row = lstOrder->row(chosen);
    const int target = row + step;
    if (target < 0 || target >= lstOrder->count())
        return;
    lstOrder->insertItem(target, lstOrder->takeItem(row));
    lstOrder->setCurrentRow(target);
    UpdateOrderButtons();
}

/** A board added to the display order joins the visit list with its stored VisitLoad. */
void frmProperty::addVisitItem(int BBS_ID, const QString &name)
{
    int at = 0;
    while (at < lstVisitLoad->count() && idOf(lstVisitLoad->item(at)) < BBS_ID)
        ++at;
    QListWidgetItem *item = entry(name, BBS_ID);
    lstVisitLoad->insertItem(at, item);
    item->setSelected(BoardRepository(m_db).VisitLoad(BBS_ID).value_or(false));
    syncVisitCheck();
}

void frmProperty::removeVisitItem(int BBS_ID)
{
    delete visitItem(BBS_ID);
    if (BBS_ID == m_bbsprop->ID())
        chkVisitLoad->setChecked(false);
}

QListWidgetItem *frmProperty::visitItem(int BBS_ID) const
{
    for (int i = 0; i < lstVisitLoad->count(); ++i) {
        if (idOf(lstVisitLoad->item(i)) == BBS_ID)
            return lstVisitLoad->item(i);
    }
    return nullptr;
}

/** chkVisitLoad follows the selection of the dialog's board in lstVisitLoad. */
void frmProperty::syncVisitCheck()
{
    if (const QListWidgetItem *item = m_bbsprop ? visitItem(m_bbsprop->ID()) : nullptr)
        chkVisitLoad->setChecked(item->isSelected());
}

void frmProperty::onVisitCheckClicked(bool checked)
{
    if (QListWidgetItem *item = visitItem(m_bbsprop->ID()))
        item->setSelected(checked);
}

bool frmProperty::validateOrderTab()
{
    const QList<int> shown = boardIDs(lstOrder, false);
    if (shown.isEmpty())
        return refuse(lstOrder, u"掲示板が選択されていません。"_s);
    if (!shown.contains(m_bbsprop->ID()))
        return refuse(lstOrder, u"現在選択されている["_s + m_bbsprop->BBS_Name() + u"]は必ず選択してください。"_s);
    return true;
}

/**
 * Writes the visit list and the display order in one transaction: when any statement fails,
 * every board keeps its old ListOrder and VisitLoad and the user is told.
 */
bool frmProperty::saveListTabs()
{
    QList<int> order;
    int ownPosition = -1;
    for (int position = 0; position < lstOrder->count(); ++position) {
        const int id = idOf(lstOrder->item(position));
        order.append(id);
        if (id == m_bbsprop->ID())
            ownPosition = position;
    }
    BoardRepository boards(m_db);
    if (!boards.StoreListOrder(order, boardIDs(lstVisitLoad, true))) {
        prompter().critical(u"巡回受信と表示順の設定を保存できませんでした。どの掲示板も元の表示順と巡回受信の設定のままです。\n"_s
                            + boards.LastError().description);
        return false;
    }
    // The record the caller writes back must carry the new values, not the ones it was read with.
    m_bbsprop->SetListOrder(ownPosition);
    if (const QListWidgetItem *own = visitItem(m_bbsprop->ID()))
        m_bbsprop->SetVisitLoad(own->isSelected());
    return true;
}
