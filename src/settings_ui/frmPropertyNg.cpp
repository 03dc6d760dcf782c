#include "settings_ui/frmProperty.h"

#include "app/Prompter.h"
#include "db/BoardRepository.h"
#include "db/CBBSProperty.h"
#include "db/NgRuleRepository.h"
#include "settings_ui/NgRuleEditing.h"
#include "settings_ui/PropertyWidgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace PropertyWidgets;

namespace {

const QString EveryBoard = u"すべての掲示板"_s;

/** Board names by BBS_ID, listed or not, for the scope column. */
QHash<int, QString> boardNames(Database &db)
{
    BoardRepository boards(db);
    QHash<int, QString> names;
    for (const auto &entry : boards.ListedBoards() + boards.HiddenBoards())
        names.insert(entry.BBS_ID, entry.BBS_Name);
    return names;
}

QComboBox *combo(QWidget *parent, const QString &name, const QString &caption, const QStringList &items)
{
    auto *box = named(new QComboBox(parent), name, caption);
    box->addItems(items);
    return box;
}

} // namespace

/**
 * The NG tab: the rule list, the fields of one rule and the buttons that store or remove a rule
 * at once. The options list every rule and add rules for every board; the board properties
 * list and add the rules of that board.
 */
void frmProperty::createNgTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    lsvNg = named(new QTreeWidget(frame), u"lsvNg"_s, u"NGリスト(&L):"_s);
    lsvNg->setHeaderLabels({u"対象"_s, u"パターン"_s, u"方式"_s, u"範囲"_s, u"動作"_s});
    lsvNg->setRootIsDecorated(false);
    lsvNg->setUniformRowHeights(true);
    lsvNg->header()->resizeSection(1, 180);
    lsvNg->installEventFilter(this); // Delete removes the selected rule
    grid->addWidget(label(frame, u"NGリスト(&L):"_s, lsvNg), 0, 0, 1, 4);
    grid->addWidget(lsvNg, 1, 0, 1, 4);

    QStringList fields;
    for (NgField field : {NgField::Poster, NgField::Mail, NgField::Subject, NgField::Body, NgField::HomePage, NgField::Any})
        fields << NgRuleEditing::FieldCaption(field);
    cboNgField = combo(frame, u"cboNgField"_s, u"対象(&F):"_s, fields);
    cboNgAction = combo(frame, u"cboNgAction"_s, u"動作(&C):"_s,
                        {NgRuleEditing::ActionCaption(NgAction::Hide), NgRuleEditing::ActionCaption(NgAction::Abone)});
    txtNgPattern = edit(frame, u"txtNgPattern"_s, u"パターン(&P):"_s);
    txtNgPattern->setMaxLength(NgPatternMaxLength);
    txtNgPattern->installEventFilter(this); // Enter adds the rule
    chkNgRegExp = check(frame, u"chkNgRegExp"_s, u"正規表現(&X)"_s);
    grid->addWidget(label(frame, u"対象(&F):"_s, cboNgField), 2, 0);
    grid->addWidget(cboNgField, 2, 1);
    grid->addWidget(label(frame, u"動作(&C):"_s, cboNgAction), 2, 2);
    grid->addWidget(cboNgAction, 2, 3);
    grid->addWidget(label(frame, u"パターン(&P):"_s, txtNgPattern), 3, 0);
    grid->addWidget(txtNgPattern, 3, 1, 1, 3);
    grid->addWidget(chkNgRegExp, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    cmdNgAdd = button(frame, u"cmdNgAdd"_s, u"追加(&A)"_s);
    cmdNgChange = button(frame, u"cmdNgChange"_s, u"変更(&E)"_s);
    cmdNgDelete = button(frame, u"cmdNgDelete"_s, u"削除(&D)"_s);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdNgAdd, cmdNgChange, cmdNgDelete}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 5, 0, 1, 4);
    connect(cmdNgAdd, &QPushButton::clicked, this, &frmProperty::cmdNgAdd_Click);
    connect(cmdNgChange, &QPushButton::clicked, this, &frmProperty::cmdNgChange_Click);
    connect(cmdNgDelete, &QPushButton::clicked, this, &frmProperty::cmdNgDelete_Click);
    connect(lsvNg, &QTreeWidget::currentItemChanged, this, [this] {
        showNgRule(lsvNg->indexOfTopLevelItem(lsvNg->currentItem()));
        updateNgButtons();
    });
}

/** Lists the rules the tab edits: every rule in the options, the board's own in its properties. */
void frmProperty::initNgTab()
{
    NgRuleRepository repository(m_db);
    const std::optional<QList<NgRule>> rules =
        m_mode == OptionMode ? repository.List() : repository.ForBoard(m_bbsprop->ID());
    if (!rules)
        prompter().warning(u"NGのルールを読めませんでした。\n"_s + repository.LastError().description);
    const QHash<int, QString> names = boardNames(m_db);
    lsvNg->clear();
    m_ngRules.clear();
    for (const NgRule &rule : rules.value_or(QList<NgRule>())) {
        if (m_mode == PropertyMode && rule.BBS_ID != m_bbsprop->ID())
            continue;
        const QString scope = rule.BBS_ID ? names.value(*rule.BBS_ID, QString::number(*rule.BBS_ID)) : EveryBoard;
        new QTreeWidgetItem(lsvNg, {NgRuleEditing::FieldCaption(rule.Field), rule.Pattern,
                                    rule.RegExp ? u"正規表現"_s : u"文字列"_s, scope,
                                    NgRuleEditing::ActionCaption(rule.Action)});
        m_ngRules.append(rule);
    }
    updateNgButtons();
}

void frmProperty::showNgRule(int row)
{
    if (row < 0 || row >= m_ngRules.size())
        return;
    const NgRule &rule = m_ngRules.at(row);
    cboNgField->setCurrentIndex(int(rule.Field));
    txtNgPattern->setText(rule.Pattern);
    chkNgRegExp->setChecked(rule.RegExp);
    cboNgAction->setCurrentIndex(int(rule.Action));
}

void frmProperty::updateNgButtons()
{
    const bool selected = lsvNg->currentItem() != nullptr;
    cmdNgChange->setEnabled(selected);
    cmdNgDelete->setEnabled(selected);
}

/** The rule the fields describe, for board @p BBS_ID (nullopt: every board). */
NgRule frmProperty::typedNgRule(std::optional<int> BBS_ID)
{
    NgRule rule;
    rule.Field = NgField(cboNgField->currentIndex());
    rule.Pattern = txtNgPattern->text();
    rule.RegExp = chkNgRegExp->isChecked();
    rule.Action = NgAction(cboNgAction->currentIndex());
    rule.BBS_ID = BBS_ID;
    return rule;
}

void frmProperty::cmdNgAdd_Click()
{
    const std::optional<int> scope = m_mode == PropertyMode ? std::optional<int>(m_bbsprop->ID()) : std::nullopt;
    if (!NgRuleEditing::AddRule(m_db, typedNgRule(scope))) {
        txtNgPattern->setFocus();
        return;
    }
    m_ngRulesChanged = true;
    initNgTab();
    lsvNg->setCurrentItem(lsvNg->topLevelItem(lsvNg->topLevelItemCount() - 1));
}

/**
 * Replaces the selected rule by the fields, keeping its scope: the new rule is stored first,
 * so that a refused one leaves the old rule in force.
 */
void frmProperty::cmdNgChange_Click()
{
    const int row = lsvNg->indexOfTopLevelItem(lsvNg->currentItem());
    if (row < 0)
        return;
    const NgRule old = m_ngRules.at(row);
    NgRule typed = typedNgRule(old.BBS_ID);
    typed.ID = old.ID;
    if (typed == old)
        return;
    if (!NgRuleEditing::AddRule(m_db, typed)) {
        txtNgPattern->setFocus();
        return;
    }
    m_ngRulesChanged = true;
    NgRuleEditing::RemoveRule(m_db, old.ID);
    initNgTab();
    lsvNg->setCurrentItem(lsvNg->topLevelItem(lsvNg->topLevelItemCount() - 1));
}

void frmProperty::cmdNgDelete_Click()
{
    const int row = lsvNg->indexOfTopLevelItem(lsvNg->currentItem());
    if (row < 0)
        return;
    const Prompter::Button answer = prompter().question(
        u"NGのルール「"_s + m_ngRules.at(row).Pattern + u"」を削除します。\nよろしいですか？"_s,
        {Prompter::Ok, Prompter::Cancel}, Prompter::Cancel, Prompter::Icon::Warning);
    if (answer != Prompter::Ok || !NgRuleEditing::RemoveRule(m_db, m_ngRules.at(row).ID))
        return;
    m_ngRulesChanged = true;
    initNgTab();
}
