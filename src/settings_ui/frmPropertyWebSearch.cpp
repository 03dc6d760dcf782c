#include "settings_ui/frmProperty.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "settings_ui/PropertyWidgets.h"
#include "startup/mdlMain.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace PropertyWidgets;

namespace {

const QString WebSearchSection = u"WebSearch"_s;

/**
 * Why @p caption cannot be a key of the settings file's web-search section; empty when it can.
 * A "=" would split the key, and a leading ";" would make the line a comment.
 */
QString captionError(const QString &caption)
{
    if (caption.contains(u'='))
        return u"メニュー文字列に「=」は使えません。設定ファイルに正しく保存できないためです。"_s;
    if (caption.startsWith(u';'))
        return u"メニュー文字列を「;」で始めることはできません。設定ファイルでは注釈の行になるためです。"_s;
    return {};
}

/** Only web addresses with a place for the search text can be opened by the search command. */
bool isSearchURL(const QString &url)
{
    const QUrl parsed(url); // tolerant: "%s" is no percent-encoding
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !parsed.host().isEmpty()
        && url.contains(u"%s"_s);
}

} // namespace

void frmProperty::createWebSearchTab(QWidget *frame)
{
    auto *grid = new QGridLayout(frame);
    lsvWebSearch = named(new QTreeWidget(frame), u"lsvWebSearch"_s, u"WebSearchリスト(&L):"_s);
    lsvWebSearch->setHeaderLabels({u"メニュー文字列"_s, u"URL"_s});
    lsvWebSearch->setRootIsDecorated(false);
    lsvWebSearch->setUniformRowHeights(true);
    lsvWebSearch->header()->resizeSection(0, 200);
    lsvWebSearch->installEventFilter(this);
    grid->addWidget(label(frame, u"WebSearchリスト(&L):"_s, lsvWebSearch), 0, 0, 1, 3);
    grid->addWidget(lsvWebSearch, 1, 0, 1, 3);

    txtWebSearchName = edit(frame, u"txtWebSearchName"_s, u"メニュー文字列(&N):"_s);
    txtWebSearchURL = edit(frame, u"txtWebSearchURL"_s, u"URL(&U):"_s);
    grid->addWidget(label(frame, u"メニュー文字列(&N):"_s, txtWebSearchName), 2, 0);
    grid->addWidget(txtWebSearchName, 2, 1);
    // With a buddy the label shows "&&" as the one "&" a caption needs.
    grid->addWidget(label(frame, u"前に「&&」を付けるとアクセスキーとなります。"_s, txtWebSearchName), 3, 1);
    grid->addWidget(label(frame, u"URL(&U):"_s, txtWebSearchURL), 4, 0);
    grid->addWidget(txtWebSearchURL, 4, 1);
    grid->addWidget(new QLabel(u"検索文字が入るところに%sを入れてください。"_s, frame), 5, 1);
    for (QLineEdit *box : {txtWebSearchName, txtWebSearchURL})
        box->installEventFilter(this);

    cmdAddSearch = button(frame, u"cmdAddSearch"_s, u"追加/置換(&R)"_s);
    cmdDelSearch = button(frame, u"cmdDelSearch"_s, u"削除(&D)"_s);
    cmdAddSearch->setAutoDefault(false);
    cmdDelSearch->setAutoDefault(false);
    grid->addWidget(cmdAddSearch, 2, 2);
    grid->addWidget(cmdDelSearch, 4, 2);
    grid->setColumnStretch(1, 1);
    connect(cmdAddSearch, &QPushButton::clicked, this, &frmProperty::cmdAddSearch_Click);
    connect(cmdDelSearch, &QPushButton::clicked, this, &frmProperty::cmdDelSearch_Click);
    connect(lsvWebSearch, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *row) {
        txtWebSearchName->setText(row->text(0));
        txtWebSearchURL->setText(row->text(1));
    });
}

void frmProperty::initWebSearchTab()
{
    lsvWebSearch->clear();
    gIniFile->setNowSection(WebSearchSection);
    for (const QString &key : gIniFile->Keys())
        new QTreeWidgetItem(lsvWebSearch, {key, gIniFile->Data(key)});
}

/** The row whose caption is @p caption; the settings file matches keys without regard to case. */
QTreeWidgetItem *frmProperty::webSearchRow(const QString &caption) const
{
    for (int i = 0; i < lsvWebSearch->topLevelItemCount(); ++i) {
        if (lsvWebSearch->topLevelItem(i)->text(0).compare(caption, Qt::CaseInsensitive) == 0)
            return lsvWebSearch->topLevelItem(i);
    }
    return nullptr;
}

/** Adds a web search, or gives an existing caption the new address. */
void frmProperty::cmdAddSearch_Click()
{
    const QString caption = txtWebSearchName->text().trimmed();
    const QString url = txtWebSearchURL->text().trimmed();
    const auto refuseAddition = [](QLineEdit *field, const QString &text) {
        prompter().warning(text);
        field->setFocus();
    };
    if (caption.isEmpty())
        return refuseAddition(txtWebSearchName, u"メニュー文字列が入力されていません。"_s);
    if (url.isEmpty())
        return refuseAddition(txtWebSearchURL, u"URLが入力されていません。"_s);
    if (const QString error = captionError(caption); !error.isEmpty())
        return refuseAddition(txtWebSearchName, error);
    if (!isSearchURL(url))
        return refuseAddition(txtWebSearchURL, u"URLは http:// か https:// で始まり、検索文字が入るところに%sを含むものにしてください。"
                                               "WebSearchリストは変更していません。"_s);
    QTreeWidgetItem *row = webSearchRow(caption);
    if (!row)
        row = new QTreeWidgetItem(lsvWebSearch);
    row->setText(0, caption);
    row->setText(1, url);
    lsvWebSearch->setCurrentItem(row);
}

void frmProperty::cmdDelSearch_Click()
{
    QTreeWidgetItem *row = lsvWebSearch->currentItem();
    if (!row || !row->isSelected())
        return;
    const Prompter::Button answer = prompter().question(row->text(0) + u"を削除します。\nよろしいですか？"_s,
                                                        {Prompter::Ok, Prompter::Cancel}, Prompter::Cancel,
                                                        Prompter::Icon::Warning);
    if (answer == Prompter::Ok)
        delete row;
}

/** Replaces the settings file's web-search section with the list and saves that section. */
bool frmProperty::saveWebSearchTab()
{
    gIniFile->setNowSection(WebSearchSection);
    gIniFile->Clear();
    for (int i = 0; i < lsvWebSearch->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = lsvWebSearch->topLevelItem(i);
        gIniFile->setData(row->text(0), row->text(1));
    }
    if (gIniFile->Save(WebSearchSection))
        return true;
    prompter().warning(u"WebSearchリストを設定ファイルに保存できませんでした。終了時にもう一度保存します。\n"_s
                       + gIniFile->LastError());
    return false;
}
