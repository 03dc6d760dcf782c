// The body pane's pop-up menu: body search, relate search, opening an address, the web
// searches of section "WebSearch", copy and copy with a quotation header.
#include "viewer/frmView.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "startup/mdlMain.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

const QString CrLf = u"\r\n"_s;

/** The fields of the selected row that the quotation header can name. */
struct HeaderFields
{
    QString number;  // without leading zeros; empty without a selected row
    QString subject; // as the list shows it, thread indentation included
    QString name;
    QString date;    // as the list shows it (option DateFormat)
};

/**
 * The quotation header: @p format with its placeholders replaced one after the other, so
 * that a placeholder inside a replaced value is expanded only by the later steps.
 */
QString replyHeader(const QString &format, const QString &boardName, const QString &shortName,
                    const HeaderFields &row, const QString &body)
{
    QString quoted = body;
    quoted.replace(CrLf, CrLf + u"> "_s);
    QString text = format;
    text.replace(u"%n"_s, boardName);
    text.replace(u"%s"_s, shortName);
    text.replace(u"%I"_s, row.number);
    text.replace(u"%S"_s, row.subject);
    text.replace(u"%N"_s, row.name);
    text.replace(u"%D"_s, row.date);
    text.replace(u"\\n"_s, CrLf);
    text.replace(u"%b"_s, body);
    text.replace(u"%B"_s, u"> "_s + quoted);
    return text;
}

void putOnClipboard(const QString &text)
{
    QClipboard *clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace

void frmView::connectTextCommands()
{
    auto *mnuText = findChild<QMenu *>(u"mnuText"_s);
    const auto addItem = [this, mnuText](const QString &name, const QString &caption) {
        QAction *item = mnuText->addAction(caption);
        item->setObjectName(name);
        m_menu.insert(name, item);
        return item;
    };
    connect(addItem(u"mnuTextFind"_s, u"検索(&F)..."_s), &QAction::triggered, this, &frmView::bodySearch);
    connect(addItem(u"mnuTextRelate"_s, u"関連検索(&K)"_s), &QAction::triggered, this,
            [this] { RelateSearch(mdlOption::BBS_ID, selectedBodyText()); });
    connect(addItem(u"mnuTextURL"_s, u"このアドレスを開く(&O)..."_s), &QAction::triggered, this,
            &frmView::openSelectedBodyAddress);
    m_webSearchSeparator = mnuText->addSeparator();
    m_webSearchSeparator->setObjectName(u"mnuTextWebSearchSeparator"_s);
    // Keyword search needs an installed help service, which this platform does not have.
    addItem(u"mnuTextMSDN"_s, u"キーワード検索(&M)"_s)->setVisible(false);
    mnuText->addSeparator();
    connect(addItem(u"mnuTextCopy"_s, u"コピー(&C)"_s), &QAction::triggered, this,
            [this] { putOnClipboard(selectedBodyText()); });
    connect(addItem(u"mnuTextCopyHeader"_s, u"ヘッダ付コピー(&H)"_s), &QAction::triggered, this,
            &frmView::copyWithHeader);

    rtbView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(rtbView, &QWidget::customContextMenuRequested, this, &frmView::showTextMenu);
}

/** The pane's selection; line breaks as CR LF, as in the texts the program copies and stores. */
QString frmView::selectedBodyText() const
{
    QString text = rtbView->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, CrLf);
    return text;
}

void frmView::showTextMenu(const QPoint &at)
{
    if (!rtbView->textCursor().hasSelection())
        return;
    auto *mnuText = findChild<QMenu *>(u"mnuText"_s);
    loadWebSearchMenu(mnuText);
    mnuText->popup(rtbView->viewport()->mapToGlobal(at));
}

/** One item per key of section "WebSearch" in file order; caption = key, address = value. */
void frmView::loadWebSearchMenu(QMenu *mnuText)
{
    for (QAction *item : std::as_const(m_webSearchItems)) {
        m_menu.remove(item->objectName());
        delete item;
    }
    m_webSearchItems.clear();
    // Selecting a missing section would create it, and an empty section means "no searches".
    if (gIniFile && gIniFile->Sections().contains(u"WebSearch"_s)) {
        gIniFile->setNowSection(u"WebSearch"_s);
        QAction *before = m_menu.value(u"mnuTextMSDN"_s);
        for (const QString &key : gIniFile->Keys()) {
            const QString name = u"mnuTextWebSearch(%1)"_s.arg(m_webSearchItems.size());
            auto *item = new QAction(key, mnuText);
            item->setObjectName(name);
            const QString address = gIniFile->Data(key);
            connect(item, &QAction::triggered, this, [this, address] {
                QString url = address;
                url.replace(u"%s"_s, mdlMain::URLEncode(selectedBodyText()));
                mdlExecuteLite::ShellOpen(url);
            });
            mnuText->insertAction(before, item);
            m_menu.insert(name, item);
            m_webSearchItems.append(item);
        }
    }
    m_webSearchSeparator->setVisible(!m_webSearchItems.isEmpty());
}

/** A query for the selected text in the bodies of the shown board. */
void frmView::bodySearch()
{
    const QString text = selectedBodyText();
    QueryLoop(QueryTemplate(mdlOption::BBS_ID, text));
    cmbFindText->setEditText(text);
}

/**
 * Opens the selection as an address. Only web and mail addresses open: the selection is
 * board data and must never name a local file or program.
 */
void frmView::openSelectedBodyAddress()
{
    QString address = selectedBodyText();
    address.remove(u'\r');
    address.remove(u'\n');
    address = address.trimmed();
    if (!mdlExecuteLite::OpenableUrl(address).isValid()) {
        prompter().information(u"このアドレスは開けません。\n"
                               "開けるのは http、https、ftp、mailto で始まるアドレスと www. で始まるアドレスです。"_s);
        return;
    }
    mdlExecuteLite::ShellOpen(address);
}

void frmView::copyWithHeader()
{
    HeaderFields fields;
    const int Index = m_lists.CurrentList();
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int row = lsvMsgList(Index)->model() == &list ? selectedRow(Index) : -1;
    if (row >= 0) {
        fields.number = QString::number(list.Message(row).ID);
        fields.subject = list.CellText(row, MessageListModel::ColSubject);
        fields.name = list.CellText(row, MessageListModel::ColName);
        fields.date = list.CellText(row, MessageListModel::ColDate);
    }
    putOnClipboard(replyHeader(mdlOption::ReplyHeader, m_current.BBS_Name(), m_current.ShortName(), fields,
                               selectedBodyText()));
}
