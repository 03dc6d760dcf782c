#include "query/frmSQL.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/uSeparator.h"
#include "db/Database.h"
#include "db/QueryRepository.h"
#include "startup/mdlMain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int TwipsPerPixel = uSeparator::TwipsPerPixel;
const QString Section = u"SQLDialogPosition"_s;

void fitComboDropDown(QComboBox *combo)
{
    combo->setMaxVisibleItems(qMax(1, combo->count()));
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0));
}

/** @p key of the current section as a number; nullopt when it is missing or no number. */
std::optional<double> number(const CIniFile &ini, const QString &key, int type = CIniFile::IniSingle)
{
    const QVariant value = ini.InitData(key, type, QVariant());
    return value.isValid() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

int pixels(double twips)
{
    return int(std::lround(twips / TwipsPerPixel));
}

QString title()
{
    return mdlApp::GetAppTitle();
}

} // namespace

QString frmSQL::FieldDescription(const QString &table, const QString &field)
{
    static const QHash<QString, QString> descriptions{
        {u"BBS.BBS_ID"_s, u"掲示板の番号"_s},
        {u"BBS.BBS_Name"_s, u"掲示板の名前"_s},
        {u"BBS.ShortName"_s, u"掲示板の短い名前"_s},
        {u"BBS.URL"_s, u"掲示板のアドレス"_s},
        {u"BBS.HowtouseURL"_s, u"使い方のページのアドレス"_s},
        {u"BBS.MaxCount"_s, u"一度に受信する最大件数"_s},
        {u"BBS.BBSType"_s, u"掲示板の種類"_s},
        {u"BBS.VisitLoad"_s, u"巡回受信の対象なら True"_s},
        {u"BBS.ListOrder"_s, u"メニューでの並び順 (-1 は表示しない)"_s},
        {u"BBS.DefaultLogFile"_s, u"ログの取り込み元ファイル"_s},
        {u"BBS.Identifier"_s, u"掲示板の識別子"_s},
        {u"Message.BBS_ID"_s, u"メッセージのある掲示板の番号"_s},
        {u"Message.ID"_s, u"掲示板の中でのメッセージ番号"_s},
        {u"Message.Read"_s, u"既読なら True"_s},
        {u"Message.Subject"_s, u"題名"_s},
        {u"Message.Homepage"_s, u"投稿者のホームページ"_s},
        {u"Message.Mail"_s, u"投稿者のメールアドレス"_s},
        {u"Message.PostName"_s, u"投稿者の名前"_s},
        {u"Message.PostDate"_s, u"投稿日時"_s},
        {u"Message.InReplyTo"_s, u"レス元のメッセージ番号 (0 はなし)"_s},
        {u"Message.Body"_s, u"本文"_s},
        {u"Message.RootThread"_s, u"スレッドの先頭のメッセージ番号"_s},
        {u"Message.Mark"_s, u"マークの番号 (0 はなし)"_s},
        {u"Mark.ID"_s, u"マークの番号"_s},
        {u"Mark.Name"_s, u"マークの名前"_s},
        {u"Mark.ForeColor"_s, u"文字の色"_s},
        {u"Mark.BackColor"_s, u"背景の色"_s},
        {u"Version.Table"_s, u"テーブル名"_s},
        {u"Version.Version"_s, u"テーブルの版"_s},
    };
    return descriptions.value(table + u'.' + field);
}

frmSQL::frmSQL(Database &db, QWidget *OwnerForm)
    : QDialog(OwnerForm),
      m_db(db),
      txtSQL(new QPlainTextEdit),
      cmbQuery(new QComboBox),
      cmbTable(new QComboBox),
      lstField(new QListWidget),
      lblInfo(new QLabel),
      cmdExec(new QPushButton(u"実行(F5)"_s)),
      cmdSave(new QPushButton(u"保存(&S)"_s)),
      cmdDelete(new QPushButton(u"削除(&D)"_s)),
      cmdCancel(new QPushButton(u"キャンセル"_s)),
      picList(new QWidget),
      picButtons(new QWidget),
      sep(new uSeparator)
{
    setObjectName(u"frmSQL"_s);
    const std::pair<QWidget *, QString> names[]{
        {txtSQL, u"txtSQL"_s}, {cmbQuery, u"cmbQuery"_s}, {cmbTable, u"cmbTable"_s}, {lstField, u"lstField"_s},
        {lblInfo, u"lblInfo"_s}, {cmdExec, u"cmdExec"_s}, {cmdSave, u"cmdSave"_s}, {cmdDelete, u"cmdDelete"_s},
        {cmdCancel, u"cmdCancel"_s}, {picList, u"picList"_s}, {picButtons, u"picButtons"_s}, {sep, u"sep"_s}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(name);
    resize(640, 420);
    cmbQuery->setEditable(true);
    cmbQuery->setInsertPolicy(QComboBox::NoInsert);
    lblInfo->setTextFormat(Qt::PlainText);
    lblInfo->setWordWrap(true);
    txtSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    for (QPushButton *button : {cmdExec, cmdSave, cmdDelete, cmdCancel})
        button->setAutoDefault(false);

    auto *listLayout = new QVBoxLayout(picList);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(cmbQuery);
    listLayout->addWidget(cmbTable);
    listLayout->addWidget(lstField, 1);
    listLayout->addWidget(lblInfo);
    auto *buttonLayout = new QHBoxLayout(picButtons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->addStretch(1);
    for (QPushButton *button : {cmdExec, cmdSave, cmdDelete, cmdCancel})
        buttonLayout->addWidget(button);
    sep->resize(620, 360);
    sep->setAspect(uSeparator::Vertical);
    sep->setOffset(180);
    sep->Initialize(picList, txtSQL);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(sep, 1);
    layout->addWidget(picButtons);

    connect(txtSQL, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_modified = true;
    });
    connect(cmbQuery, &QComboBox::textActivated, this, &frmSQL::chooseQuery);
    connect(cmbQuery, &QComboBox::editTextChanged, this, &frmSQL::updateDeleteButton);
    connect(cmbTable, &QComboBox::currentTextChanged, this, &frmSQL::fillFields);
    connect(lstField, &QListWidget::currentRowChanged, this, &frmSQL::showFieldInfo);
    connect(lstField, &QListWidget::itemDoubleClicked, this, &frmSQL::insertCondition);
    connect(cmdExec, &QPushButton::clicked, this, [this] {
        m_result = txtSQL->toPlainText();
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        m_result.clear();
        reject();
    });
    connect(cmdSave, &QPushButton::clicked, this, &frmSQL::saveClicked);
    connect(cmdDelete, &QPushButton::clicked, this, &frmSQL::deleteClicked);
    txtSQL->installEventFilter(this);
}

frmSQL::~frmSQL() = default;

QString frmSQL::ShowSQL(Database &db, const QString &DefaultSQL, QWidget *OwnerForm)
{
    frmSQL window(db, OwnerForm);
    window.Load(DefaultSQL);
    window.exec();
    return window.Result();
}

void frmSQL::Load(const QString &DefaultSQL)
{
    setWindowTitle(u"クエリー検索 - "_s + title());
    if (parentWidget())
        setWindowIcon(parentWidget()->windowIcon());
    m_loading = true;
    txtSQL->setPlainText(DefaultSQL);
    txtSQL->selectAll();
    m_loading = false;
    fillQueries();
    fillTables();
    applyPosition();
    m_modified = false;
    m_result.clear();
    txtSQL->setFocus();
}

void frmSQL::fillQueries()
{
    cmbQuery->clear();
    cmbQuery->addItems(QueryRepository(m_db).Names());
    fitComboDropDown(cmbQuery);
    cmbQuery->setEditText(QString());
    updateDeleteButton();
}

void frmSQL::fillTables()
{
    cmbTable->clear();
    const QStringList tables = QueryRepository(m_db).TableNames();
    const QSignalBlocker blocker(cmbTable);
    cmbTable->addItems(tables);
    cmbTable->setCurrentIndex(tables.indexOf(u"Message"_s));
    fillFields(cmbTable->currentText());
}

void frmSQL::fillFields(const QString &table)
{
    lstField->clear();
    lblInfo->clear();
    if (table.isEmpty())
        return;
    for (const FieldDef &field : QueryRepository(m_db).Fields(table)) {
        auto *item = new QListWidgetItem(field.name, lstField);
        item->setData(Qt::UserRole, int(field.type));
        const QString description = field.description.isEmpty() ? FieldDescription(table, field.name) : field.description;
        item->setData(Qt::UserRole + 1, description);
        item->setToolTip(description);
    }
}

void frmSQL::showFieldInfo()
{
    const QListWidgetItem *item = lstField->currentItem();
    lblInfo->setText(item ? item->data(Qt::UserRole + 1).toString() : QString());
}

void frmSQL::insertCondition()
{
    const QListWidgetItem *item = lstField->currentItem();
    if (!item)
        return;
    const auto type = FieldType(item->data(Qt::UserRole).toInt());
    QString text = item->text();
    int back = 0; // characters between the caret and the end of the inserted text
    if (type == FieldType::Text || type == FieldType::Memo) {
        text += u" Like '**'"_s;
        back = 2;
    } else if (type == FieldType::Date) {
        text += u" = ##"_s;
        back = 1;
    } else {
        text += u" = "_s;
    }
    QTextCursor cursor = txtSQL->textCursor();
    cursor.insertText(text);
    cursor.setPosition(cursor.position() - back);
    txtSQL->setTextCursor(cursor);
    txtSQL->setFocus();
}

void frmSQL::updateDeleteButton()
{
    cmdDelete->setEnabled(!cmbQuery->currentText().isEmpty());
}

void frmSQL::chooseQuery(const QString &name)
{
    if (m_modified) {
        const Prompter::Button answer = prompter().ask(Prompter::Icon::Question, title(), u"現在編集中のSQLを保存しますか？"_s,
                                                       {Prompter::Yes, Prompter::No, Prompter::Cancel}, Prompter::Yes);
        if (answer == Prompter::Cancel)
            return;
        if (answer == Prompter::Yes) {
            const std::optional<QString> saveName = askQueryName();
            if (!saveName || !saveQuery(*saveName, txtSQL->toPlainText()))
                return; // the edited text stays: nothing was saved
            fitComboDropDown(cmbQuery);
            cmbQuery->setEditText(name);
        }
    }
    if (const std::optional<QString> sql = QueryRepository(m_db).Definition(name)) {
        m_loading = true;
        txtSQL->setPlainText(*sql);
        m_loading = false;
        m_modified = false;
    }
    updateDeleteButton();
}

/** The name typed for a new query, trimmed; nullopt when the question was cancelled. */
std::optional<QString> frmSQL::askQueryName()
{
    const std::optional<QString> name = prompter().askText(title(), u"クエリー名を入力してください。"_s, QString());
    return name ? std::optional(name->trimmed()) : std::nullopt;
}

void frmSQL::saveClicked()
{
    std::optional<QString> name = cmbQuery->currentText().trimmed();
    if (name->isEmpty())
        name = askQueryName();
    if (!name)
        return;
    cmbQuery->setEditText(*name);
    if (!saveQuery(*name, txtSQL->toPlainText()))
        return;
    fitComboDropDown(cmbQuery);
    m_modified = false;
}

/**
 * Saves @p sql under @p name; an existing query of that name is replaced after asking, in one
 * step, so that a replacement that cannot be stored leaves the old query as it was.
 */
bool frmSQL::saveQuery(const QString &name, const QString &sql)
{
    if (name.isEmpty()) {
        prompter().ask(Prompter::Icon::Information, title(), u"クエリー名が入っていません。"_s, {Prompter::Ok}, Prompter::Ok);
        return false;
    }
    if (name.startsWith(u'_')) {
        prompter().ask(Prompter::Icon::Information, title(), u"\"_\"で始まるクエリー名は登録できません。"_s, {Prompter::Ok}, Prompter::Ok);
        return false;
    }
    QueryRepository queries(m_db);
    const bool exists = queries.Definition(name).has_value();
    if (exists) {
        const QString text = u"既に"_s + cmbQuery->currentText() + u"は存在します。\n上書きしてもよろしいですか？"_s;
        if (prompter().ask(Prompter::Icon::Information, title(), text, {Prompter::Ok, Prompter::Cancel}, Prompter::Cancel)
            != Prompter::Ok)
            return false;
    }
    if (exists ? queries.Overwrite(name, sql) : queries.Create(name, sql)) {
        listSavedQuery(name);
        return true;
    }
    reportError(u"クエリーを保存できませんでした。"_s);
    return false;
}

/**
 * The name of a query just saved goes to the end of the list, in place of the entry it replaced
 * (stored names are compared without regard to case).
 */
void frmSQL::listSavedQuery(const QString &name)
{
    const QString text = cmbQuery->currentText();
    if (const int index = cmbQuery->findText(name, Qt::MatchFixedString); index >= 0)
        cmbQuery->removeItem(index);
    cmbQuery->addItem(name);
    cmbQuery->setEditText(text);
}

/** "実行時エラー 'n':", the database's reason and @p what, as an information message. */
void frmSQL::reportError(const QString &what)
{
    const DbError &error = m_db.LastError();
    prompter().ask(Prompter::Icon::Information, title(),
                   u"実行時エラー '"_s + QString::number(error.number) + u"':\n\n"_s + error.description + u"\n\n"_s + what,
                   {Prompter::Ok}, Prompter::Ok);
}

void frmSQL::deleteClicked()
{
    const QString name = cmbQuery->currentText();
    if (name.trimmed().isEmpty())
        return;
    if (prompter().ask(Prompter::Icon::Information, title(), name + u"を削除してもよろしいですか？\n"_s,
                       {Prompter::Ok, Prompter::Cancel}, Prompter::Cancel)
        != Prompter::Ok)
        return;
    deleteQuery(name);
    fitComboDropDown(cmbQuery);
}

void frmSQL::deleteQuery(const QString &name)
{
    const int index = cmbQuery->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        prompter().ask(Prompter::Icon::Information, title(), u"クエリー"_s + name + u"は存在しませんでした。"_s, {Prompter::Ok}, Prompter::Ok);
        return;
    }
    // The entry stays while the stored query does: a query that could not be deleted is still there.
    if (!QueryRepository(m_db).Delete(name)) {
        reportError(u"クエリーを削除できませんでした。"_s);
        return;
    }
    const QString text = cmbQuery->currentText();
    cmbQuery->removeItem(index);
    cmbQuery->setEditText(text);
}

bool frmSQL::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtSQL && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_A) {
            txtSQL->selectAll();
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_S) {
            cmdSave->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSQL::keyPressEvent(QKeyEvent *event)
{
    // F5 anywhere in the window: the controls leave the key to the window.
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        cmdExec->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSQL::applyPosition()
{
    QRect rect = geometry();
    if (gIniFile) {
        CIniFile &ini = *gIniFile;
        ini.setNowSection(Section);
        if (!mdlOption::SaveSQLDialogPosition)
            ini.Clear();
        if (const auto width = number(ini, u"Width"_s))
            rect.setWidth(pixels(*width));
        if (const auto height = number(ini, u"Height"_s))
            rect.setHeight(pixels(*height));
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
        const auto left = number(ini, u"Left"_s);
        const auto top = number(ini, u"Top"_s);
        rect.moveLeft(left ? pixels(*left) : screen.x() + (screen.width() - rect.width()) / 2);
        rect.moveTop(top ? pixels(*top) : screen.y() + (screen.height() - rect.height()) / 2);
        setGeometry(rect);
        if (const auto separator = number(ini, u"Separator"_s, CIniFile::IniLong))
            sep->setOffset(pixels(*separator));
    }
}

void frmSQL::savePosition()
{
    if (!gIniFile || !mdlOption::SaveSQLDialogPosition)
        return;
    CIniFile &ini = *gIniFile;
    ini.setNowSection(Section);
    const QRect rect = geometry();
    ini.setData(u"Left"_s, QString::number(rect.x() * TwipsPerPixel));
    ini.setData(u"Top"_s, QString::number(rect.y() * TwipsPerPixel));
    ini.setData(u"Width"_s, QString::number(rect.width() * TwipsPerPixel));
    ini.setData(u"Height"_s, QString::number(rect.height() * TwipsPerPixel));
    ini.setData(u"Separator"_s, QString::number(sep->Offset() * TwipsPerPixel));
    ini.TrySave(Section);
}

void frmSQL::done(int r)
{
    savePosition();
    QDialog::done(r);
}
