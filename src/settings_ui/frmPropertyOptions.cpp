#include "settings_ui/frmProperty.h"

#include "app/CRegExp.h"
#include "app/VbDateFormat.h"
#include "app/mdlOption.h"
#include "settings_ui/PropertyWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace PropertyWidgets;

namespace {

void addWide(QGridLayout *grid, QWidget *widget)
{
    grid->addWidget(widget, grid->rowCount(), 0, 1, 3);
}

} // namespace

void frmProperty::createGeneralTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    uspnAddMax = spin(frame, u"uspnAddMax"_s, u"一度に表示する件数(&M):"_s, 1, 1000);
    addRow(grid, frame, uspnAddMax, u"一度に表示する件数(&M):"_s);
    uspnReadTiming = spin(frame, u"uspnReadTiming"_s, u"既読にするタイミング(&R):"_s, 0, 10000);
    addRow(grid, frame, uspnReadTiming, u"既読にするタイミング(&R):"_s, u"(単位：ミリ秒)"_s);
    addWide(grid, chkNoReadBold = check(frame, u"chkNoReadBold"_s, u"未読記事を太字表示する(&B)"_s));
    addWide(grid, chkSaveSQLDialogPosition = check(frame, u"chkSaveSQLDialogPosition"_s,
                                                   u"クエリー検索ダイアログの位置・サイズを保存する(&Q)"_s));
    addWide(grid, chkAddTaskTray = check(frame, u"chkAddTaskTray"_s, u"タスクトレイに格納する(&T)"_s));
    addWide(grid, chkHideAtMinimazed = check(frame, u"chkHideAtMinimazed"_s, u"最小化時はタスクバーに表示しない(&V)"_s));
    txtReplyHeader = editRow(grid, frame, u"txtReplyHeader"_s, u"ヘッダ付コピーの書式(&H):"_s);
    txtDateFormat = edit(frame, u"txtDateFormat"_s, u"日付の書式(&D):"_s);
    lblDateFormatPreview = named(new QLabel(frame), u"lblDateFormatPreview"_s, u"日付の書式の見本"_s);
    const int dateRow = grid->rowCount();
    grid->addWidget(label(frame, u"日付の書式(&D):"_s, txtDateFormat), dateRow, 0);
    grid->addWidget(txtDateFormat, dateRow, 1);
    grid->addWidget(lblDateFormatPreview, dateRow, 2);
    connect(txtDateFormat, &QLineEdit::textChanged, this, &frmProperty::updateDatePreview);
    txtIconFilePath = editRow(grid, frame, u"txtIconFilePath"_s, u"アイコンファイルフォルダ(&I):"_s);
    grid->setRowStretch(grid->rowCount(), 1);
    grid->setColumnStretch(1, 1);
    connect(chkAddTaskTray, &QCheckBox::toggled, this, &frmProperty::updateOptionEnabling);
}

void frmProperty::createTransferTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    uspnTimeout = spin(frame, u"uspnTimeout"_s, u"タイムアウトまでの時間(&O):"_s, 0, 1000);
    addRow(grid, frame, uspnTimeout, u"タイムアウトまでの時間(&O):"_s, u"(単位：秒)"_s);

    fraTimer = named(new QGroupBox(u"タイマー"_s, frame), u"fraTimer"_s, u"タイマー"_s);
    auto *timer = new QGridLayout(fraTimer);
    chkTimer = check(fraTimer, u"chkTimer"_s, u"タイマー受信をする(&T)"_s);
    uspnInterval = spin(fraTimer, u"uspnInterval"_s, u"受信間隔(&I):"_s, 10, 120);
    lblInterval = label(fraTimer, u"受信間隔(&I):"_s, uspnInterval);
    lblInterval->setObjectName(u"lblInterval"_s);
    timer->addWidget(chkTimer, 0, 0, 1, 2);
    timer->addWidget(lblInterval, 1, 0);
    timer->addWidget(uspnInterval, 1, 1);
    addWide(grid, fraTimer);
    connect(chkTimer, &QCheckBox::toggled, this, &frmProperty::updateOptionEnabling);

    addWide(grid, chkExitIfMessageFound = check(frame, u"chkExitIfMessageFound"_s,
                                                u"未読受信時、受信済みメッセージを見つけたら受信終了(&I)"_s));
    addWide(grid, chkBlinkIcon = check(frame, u"chkBlinkIcon"_s, u"受信時にアイコンをアニメーションさせる(&B)"_s));
    addWide(grid, chkNotifyNewMessages = check(frame, u"chkNotifyNewMessages"_s, u"新着メッセージを通知する(&N)"_s));
    addWide(grid, chkImportReadMode = check(frame, u"chkImportReadMode"_s, u"既読状態でインポートする(&R)"_s));
    addWide(grid, chkSaveLoadDialogPosition = check(frame, u"chkSaveLoadDialogPosition"_s,
                                                    u"受信ダイアログの位置・サイズを保存する(&L)"_s));
    addWide(grid, chkAutoCloseImportDialog = check(frame, u"chkAutoCloseImportDialog"_s,
                                                   u"インポートダイアログを自動的に閉じる(&A)"_s));
    txtCacheFileName = editRow(grid, frame, u"txtCacheFileName"_s, u"キャッシュフォルダ(&C):"_s);
    txtErrorLogFilePath = editRow(grid, frame, u"txtErrorLogFilePath"_s, u"エラーログフォルダ(&E):"_s);
    grid->setRowStretch(grid->rowCount(), 1);
    grid->setColumnStretch(1, 1);
}

void frmProperty::createFindTab(QWidget *frame)
{
    auto *layout = new QVBoxLayout(frame);
    chkUseRegExp = check(frame, u"chkUseRegExp"_s, u"正規表現検索(&R)"_s);
    chkIgnoreCase = check(frame, u"chkIgnoreCase"_s, u"大文字と小文字を区別(&I)"_s);
    layout->addWidget(chkUseRegExp);
    layout->addWidget(chkIgnoreCase);
    chkUseTextIndex = check(frame, u"chkUseTextIndex"_s, u"全文検索の索引を使う(&F)"_s);
    layout->addWidget(chkUseTextIndex);
    layout->addStretch();
    connect(chkUseRegExp, &QCheckBox::toggled, this, &frmProperty::updateOptionEnabling);
}

void frmProperty::initOptionTabs()
{
    using namespace mdlOption;
    showValue(uspnAddMax, AddMax);
    showValue(uspnReadTiming, ReadTiming);
    chkNoReadBold->setChecked(NoReadBold);
    chkSaveSQLDialogPosition->setChecked(SaveSQLDialogPosition);
    chkAddTaskTray->setChecked(AddTaskTray);
    chkHideAtMinimazed->setChecked(HideAtMinimazed);
    txtReplyHeader->setText(ReplyHeader);
    txtDateFormat->setText(DateFormat);
    txtIconFilePath->setText(IconFilePath);

    showValue(uspnTimeout, Timeout);
    chkTimer->setChecked(Timer);
    showValue(uspnInterval, Interval);
    chkExitIfMessageFound->setChecked(ExitIfMessageFound);
    chkBlinkIcon->setChecked(BlinkIcon);
    chkNotifyNewMessages->setChecked(NotifyNewMessages);
    chkImportReadMode->setChecked(ImportReadMode);
    chkSaveLoadDialogPosition->setChecked(SaveLoadDialogPosition);
    chkAutoCloseImportDialog->setChecked(AutoCloseImportDialog);
    txtCacheFileName->setText(CacheFilePath);
    txtErrorLogFilePath->setText(ErrorLogFilePath);

    chkUseRegExp->setEnabled(CRegExp().RegExp());
    chkUseRegExp->setChecked(UseRegExp);
    chkIgnoreCase->setChecked(!IgnoreCase);
    chkUseTextIndex->setChecked(UseTextIndex);
    updateOptionEnabling();
}

/** The check boxes that only mean something while another one is ticked. */
void frmProperty::updateOptionEnabling()
{
    chkHideAtMinimazed->setEnabled(chkAddTaskTray->isChecked());
    lblInterval->setEnabled(chkTimer->isChecked());
    uspnInterval->setEnabled(chkTimer->isChecked());
    chkIgnoreCase->setEnabled(chkUseRegExp->isEnabled() && chkUseRegExp->isChecked());
}

bool frmProperty::validateGeneralTab()
{
    if (txtReplyHeader->text().trimmed().isEmpty())
        return refuse(txtReplyHeader, u"返信ヘッダが入っていません。"_s);
    if (txtDateFormat->text().trimmed().isEmpty())
        return refuse(txtDateFormat, u"日付の書式が入っていません。"_s);
    // 投稿日 would show the same text for every message.
    if (!VbDateFormat(txtDateFormat->text()).ShowsDate())
        return refuse(txtDateFormat, u"日付の書式に日付を表す部分 (yyyy・m・d など) がありません。"_s);
    return true;
}

/** Shows the typed date format applied to the current time. */
void frmProperty::updateDatePreview()
{
    lblDateFormatPreview->setText(VbDateFormat(txtDateFormat->text()).Format(QDateTime::currentDateTime()));
}

void frmProperty::saveOptionTabs()
{
    using namespace mdlOption;
    AddMax = uspnAddMax->Value();
    ReadTiming = uspnReadTiming->Value();
    NoReadBold = chkNoReadBold->isChecked();
    SaveSQLDialogPosition = chkSaveSQLDialogPosition->isChecked();
    AddTaskTray = chkAddTaskTray->isChecked();
    HideAtMinimazed = chkHideAtMinimazed->isChecked();
    ReplyHeader = txtReplyHeader->text();
    DateFormat = txtDateFormat->text();
    IconFilePath = txtIconFilePath->text();

    UseRegExp = chkUseRegExp->isChecked();
    IgnoreCase = !chkIgnoreCase->isChecked();
    UseTextIndex = chkUseTextIndex->isChecked();

    Timeout = uspnTimeout->Value();
    Interval = uspnInterval->Value();
    Timer = chkTimer->isChecked();
    ExitIfMessageFound = chkExitIfMessageFound->isChecked();
    BlinkIcon = chkBlinkIcon->isChecked();
    NotifyNewMessages = chkNotifyNewMessages->isChecked();
    ImportReadMode = chkImportReadMode->isChecked();
    SaveLoadDialogPosition = chkSaveLoadDialogPosition->isChecked();
    AutoCloseImportDialog = chkAutoCloseImportDialog->isChecked();
    CacheFilePath = txtCacheFileName->text();
    ErrorLogFilePath = txtErrorLogFilePath->text();
}
