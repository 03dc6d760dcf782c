#include "settings_ui/frmProperty.h"
#include "db/BoardType.h"

#include "app/Prompter.h"
#include "db/BoardRepository.h"
#include "db/CBBSProperty.h"
#include "settings_ui/PropertyWidgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace PropertyWidgets;

namespace {

// The four board variants, by BBSType.
const std::array<QString, 4> BoardTypeCaptions{
    u"単独の掲示板 (カンマ区切りのクッキー)"_s,
    u"左右に並ぶ掲示板の左側"_s,
    u"左右に並ぶ掲示板の右側"_s,
    u"テキストページ方式の掲示板 (キー付きのクッキー)"_s,
};

// The personal fields of tab "#2" and the setting each one holds.
constexpr std::array<int, 4> PersonalSettings{CBBSProperty::PostNameSetting, CBBSProperty::MailSetting,
                                             CBBSProperty::PasswordSetting, CBBSProperty::HomePageSetting};

int checkedIndex(const auto &options, int otherwise)
{
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i]->isChecked())
            return int(i);
    }
    return otherwise;
}

void checkIndex(const auto &options, int index)
{
    if (index >= 0 && index < int(options.size()))
        options[size_t(index)]->setChecked(true);
}

} // namespace

void frmProperty::createBoardTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    txtName = editRow(grid, frame, u"txtName"_s, u"掲示板の名前(&N):"_s);
    txtShortName = editRow(grid, frame, u"txtShortName"_s, u"掲示板の短縮名(&S):"_s);
    txtURL = editRow(grid, frame, u"txtURL"_s, u"URL(&U):"_s);
    txtHowtouseURL = editRow(grid, frame, u"txtHowtouseURL"_s, u"掲示板の使い方URL(&R):"_s);
    txtIdentifier = editRow(grid, frame, u"txtIdentifier"_s, u"識別子(I):"_s);
    txtDefaultLogFile = editRow(grid, frame, u"txtDefaultLogFile"_s, u"ログファイルの形式(&D):"_s);
    addRow(grid, frame, uspnMaxCount = spin(frame, u"uspnMaxCount"_s, u"ログ保存数(&M):"_s, 0, 1000), u"ログ保存数(&M):"_s);
    // The columns of table BBS hold 255 characters at most.
    for (QLineEdit *field : {txtName, txtShortName, txtURL, txtHowtouseURL, txtIdentifier, txtDefaultLogFile})
        field->setMaxLength(255);
    chkVisitLoad = check(frame, u"chkVisitLoad"_s, u"巡回受信の対象にする(&V)"_s);
    grid->addWidget(chkVisitLoad, grid->rowCount(), 0, 1, 2);
    connect(chkVisitLoad, &QCheckBox::clicked, this, &frmProperty::onVisitCheckClicked);

    auto *types = named(new QGroupBox(u"掲示板の種類(&B)"_s, frame), u"fraBBSType"_s, u"掲示板の種類"_s);
    auto *typeLayout = new QVBoxLayout(types);
    for (size_t i = 0; i < optBBSType.size(); ++i) {
        optBBSType[i] = option(types, u"optBBSType(%1)"_s.arg(i), BoardTypeCaptions[i]);
        typeLayout->addWidget(optBBSType[i]);
    }
    grid->addWidget(types, grid->rowCount(), 0, 1, 2);
    grid->setRowStretch(grid->rowCount(), 1);
}

void frmProperty::createCookieTab(QWidget *frame)
{
    auto *layout = new QVBoxLayout(frame);
    fraPersonal = named(new QGroupBox(u"個人情報(&P)"_s, frame), u"fraPersonal"_s, u"個人情報"_s);
    auto *grid = new QGridLayout(fraPersonal);
    txtPostName = editRow(grid, fraPersonal, u"txtPostName"_s, u"名前(&N):"_s);
    txtMail = editRow(grid, fraPersonal, u"txtMail"_s, u"メール(&M):"_s);
    txtPassword = editRow(grid, fraPersonal, u"txtPassword"_s, u"パスワード(&W):"_s);
    txtHomePage = editRow(grid, fraPersonal, u"txtHomePage"_s, u"自分のホームページ(&H):"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    cmdAllBBS = button(fraPersonal, u"cmdAllBBS"_s, u"全ての掲示板に適応する(&S)"_s);
    cmdAllBBS->setToolTip(u"名前・メール・パスワード・ホームページを、OKを待たずに今すぐ全ての掲示板に書き込みます。"_s);
    cmdAllBBS->setAutoDefault(false);
    grid->addWidget(cmdAllBBS, grid->rowCount(), 1, Qt::AlignRight);
    layout->addWidget(fraPersonal);
    for (QLineEdit *field : {txtPostName, txtMail, txtPassword, txtHomePage})
        connect(field, &QLineEdit::textEdited, cmdAllBBS, [this] { cmdAllBBS->setEnabled(true); });
    connect(cmdAllBBS, &QPushButton::clicked, this, &frmProperty::cmdAllBBS_Click);

    auto *counts = new QGridLayout;
    uspnViewCount = spin(frame, u"uspnViewCount"_s, u"1ページあたりの表示記事数(&V):"_s, 1, 50);
    uspnDownloadCount = spin(frame, u"uspnDownloadCount"_s, u"一度にダウンロードするログの記事数(&D):"_s, 1, 50);
    counts->addWidget(label(frame, u"1ページあたりの表示記事数(&V):"_s, uspnViewCount), 0, 0);
    counts->addWidget(uspnViewCount, 0, 1);
    counts->addWidget(label(frame, u"一度にダウンロードするログの記事数(&D):"_s, uspnDownloadCount), 1, 0);
    counts->addWidget(uspnDownloadCount, 1, 1);
    layout->addLayout(counts);

    const auto pair = [frame](QGroupBox *&group, const QString &name, const QString &caption, auto &options,
                              const QString &optionName, const std::array<QString, 2> &captions) {
        group = named(new QGroupBox(caption, frame), name, caption);
        auto *row = new QHBoxLayout(group);
        for (size_t i = 0; i < options.size(); ++i) {
            options[i] = option(group, optionName + u"(%1)"_s.arg(i), captions[i]);
            row->addWidget(options[i]);
        }
    };
    pair(fraViewOrder, u"fraViewOrder"_s, u"表示順(&O)"_s, optViewOrder, u"optViewOrder"_s,
         {u"新しい → 古い(&1)"_s, u"古い → 新しい(&2)"_s});
    pair(fraNoReadView, u"fraNoReadView"_s, u"未読読み(&R)"_s, optNoReadView, u"optNoReadView"_s,
         {u"設定しない(&4)"_s, u"設定する(&3)"_s});
    auto *frames = new QHBoxLayout;
    frames->addWidget(fraViewOrder);
    frames->addWidget(fraNoReadView);
    layout->addLayout(frames);
    layout->addStretch();
}

void frmProperty::initBoardTab()
{
    const CBBSProperty &p = *m_bbsprop;
    txtName->setText(p.BBS_Name());
    txtShortName->setText(p.ShortName());
    txtURL->setText(p.URL());
    txtHowtouseURL->setText(p.HowtouseURL());
    txtIdentifier->setText(p.Identifier());
    txtDefaultLogFile->setText(p.DefaultLogFile());
    showValue(uspnMaxCount, p.MaxCount());
    chkVisitLoad->setChecked(p.VisitLoad());
    checkIndex(optBBSType, p.BBSType());
}

void frmProperty::initCookieTab()
{
    const CBBSProperty &p = *m_bbsprop;
    txtPostName->setText(p.PostName());
    txtMail->setText(p.Mail());
    txtPassword->setText(p.Password());
    txtHomePage->setText(p.HomePage());
    showValue(uspnViewCount, p.ViewCount());
    showValue(uspnDownloadCount, p.DownloadCount());
    checkIndex(optViewOrder, p.ViewOrder());
    checkIndex(optNoReadView, p.NoReadView());
    cmdAllBBS->setEnabled(false);
    // The text-page boards keep these settings on their own pages.
    const bool editable = p.BBSType() != TextPageBoard;
    for (QWidget *w : std::initializer_list<QWidget *>{txtPostName, txtMail, txtPassword, txtHomePage, uspnViewCount,
                                                        uspnDownloadCount, fraViewOrder, fraNoReadView})
        w->setEnabled(editable);
}

bool frmProperty::validateBoardTab()
{
    const std::array<std::pair<QLineEdit *, QString>, 4> required{{
        {txtName, u"掲示板の名前が入っていません。"_s},
        {txtShortName, u"掲示板の短縮名が入っていません。"_s},
        {txtURL, u"URLが入っていません。"_s},
        {txtHowtouseURL, u"掲示板の使い方URLが入っていません。"_s},
    }};
    for (const auto &[field, message] : required) {
        if (field->text().trimmed().isEmpty())
            return refuse(field, message);
    }
    // Receiving, posting and the board's cookie all need a web address with a host.
    const QUrl url(txtURL->text().trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s) || url.host().isEmpty())
        return refuse(txtURL, u"URLには http:// か https:// で始まる掲示板のアドレスを入れてください。"_s);
    return true;
}

/** The personal fields must be values the board's cookie can keep (the type chosen on "#1"). */
bool frmProperty::validateCookieTab()
{
    const int type = checkedIndex(optBBSType, m_bbsprop->BBSType());
    const QList<QLineEdit *> fields{txtPostName, txtMail, txtPassword, txtHomePage};
    for (size_t i = 0; i < PersonalSettings.size(); ++i) {
        QLineEdit *field = fields.at(qsizetype(i));
        const QString error = CBBSProperty::SettingValueError(type, PersonalSettings[i], field->text());
        if (field->isEnabled() && !error.isEmpty())
            return refuse(field, error);
    }
    return true;
}

void frmProperty::saveBoardTab()
{
    CBBSProperty &p = *m_bbsprop;
    p.SetBBS_Name(txtName->text());
    p.SetShortName(txtShortName->text());
    p.SetURL(txtURL->text());
    p.SetHowtouseURL(txtHowtouseURL->text());
    p.SetIdentifier(txtIdentifier->text());
    p.SetDefaultLogFile(txtDefaultLogFile->text());
    p.SetMaxCount(uspnMaxCount->Value());
    p.SetVisitLoad(chkVisitLoad->isChecked());
    p.SetBBSType(checkedIndex(optBBSType, p.BBSType()));
}

/**
 * Writes the eight settings through the record. What could not be stored is reported by the
 * field's name, and false is returned so that the dialog stays open with the text typed.
 */
bool frmProperty::saveCookieTab()
{
    CBBSProperty &p = *m_bbsprop;
    const std::array<std::tuple<QWidget *, int, QString>, 8> settings{{
        {txtPostName, CBBSProperty::PostNameSetting, txtPostName->text()},
        {txtMail, CBBSProperty::MailSetting, txtMail->text()},
        {txtPassword, CBBSProperty::PasswordSetting, txtPassword->text()},
        {txtHomePage, CBBSProperty::HomePageSetting, txtHomePage->text()},
        {uspnViewCount, CBBSProperty::ViewCountSetting, QString::number(uspnViewCount->Value())},
        {uspnDownloadCount, CBBSProperty::DownloadCountSetting, QString::number(uspnDownloadCount->Value())},
        {fraViewOrder, CBBSProperty::ViewOrderSetting, QString::number(checkedIndex(optViewOrder, p.ViewOrder()))},
        {fraNoReadView, CBBSProperty::NoReadViewSetting, QString::number(checkedIndex(optNoReadView, p.NoReadView()))},
    }};
    QStringList errors;
    for (const auto &[field, position, value] : settings) {
        if (!p.SetSettingText(position, value))
            errors.append(field->accessibleName() + u": "_s + p.LastError());
    }
    if (errors.isEmpty())
        return true;
    prompter().warning(u"クッキーの情報を保存できなかった設定があります。\n"_s + errors.join(u'\n'));
    return false;
}

QStringList frmProperty::personalFields() const
{
    return {txtPostName->text(), txtMail->text(), txtPassword->text(), txtHomePage->text()};
}

/**
 * Writes the four personal fields into every board's cookie at once. Every board is checked
 * first, so a value one of them cannot keep writes nothing anywhere.
 */
void frmProperty::cmdAllBBS_Click()
{
    BoardRepository repository(m_db);
    const std::optional<QList<int>> ids = repository.AllBoardIds();
    if (!ids) {
        prompter().warning(u"掲示板の一覧を読めませんでした。\n"_s + repository.LastError().description);
        return;
    }
    std::vector<CBBSProperty> boards;
    for (int id : *ids) {
        CBBSProperty board;
        if (board.GetProperty(id, m_db))
            boards.push_back(std::move(board));
    }
    const QStringList values = personalFields();
    for (const CBBSProperty &board : boards) {
        for (size_t i = 0; i < PersonalSettings.size(); ++i) {
            const QString error = CBBSProperty::SettingValueError(board.BBSType(), PersonalSettings[i], values.at(qsizetype(i)));
            if (!error.isEmpty()) {
                prompter().information(board.BBS_Name() + u": "_s + error);
                return;
            }
        }
    }
    QStringList errors;
    for (CBBSProperty &board : boards) {
        for (size_t i = 0; i < PersonalSettings.size(); ++i) {
            if (!board.SetSettingText(PersonalSettings[i], values.at(qsizetype(i))))
                errors.append(board.BBS_Name() + u": "_s + board.LastError());
        }
    }
    cmdAllBBS->setEnabled(false);
    if (!errors.isEmpty())
        prompter().warning(u"書き込めなかった掲示板があります。\n"_s + errors.join(u'\n'));
}
