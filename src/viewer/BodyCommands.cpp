#include "viewer/BodyCommands.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "models/MessageLists.h"
#include "startup/mdlMain.h"

#include <QAction>
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

BodyCommands::BodyCommands(const MessageLists &lists, const CBBSProperty &current,
                           QHash<QString, QAction *> &menuItems, Widgets widgets, Commands commands)
    : m_lists(lists), m_current(current), m_menuItems(menuItems), m_widgets(widgets), m_commands(std::move(commands))
{
    QMenu *mnuText = m_widgets.textMenu;
    connect(addItem(u"mnuTextFind"_s, u"検索(&F)..."_s), &QAction::triggered, this, &BodyCommands::bodySearch);
    connect(addItem(u"mnuTextRelate"_s, u"関連検索(&K)"_s), &QAction::triggered, this,
            [this] { m_commands.relateSearch(mdlOption::BBS_ID, selectedBodyText()); });
    connect(addItem(u"mnuTextURL"_s, u"このアドレスを開く(&O)..."_s), &QAction::triggered, this,
            &BodyCommands::openSelectedBodyAddress);
    m_webSearchSeparator = mnuText->addSeparator();
    m_webSearchSeparator->setObjectName(u"mnuTextWebSearchSeparator"_s);
    // Keyword search needs an installed help service, which this platform does not have.
    addItem(u"mnuTextMSDN"_s, u"キーワード検索(&M)"_s)->setVisible(false);
    mnuText->addSeparator();
    connect(addItem(u"mnuTextCopy"_s, u"コピー(&C)"_s), &QAction::triggered, this,
            [this] { putOnClipboard(selectedBodyText()); });
    connect(addItem(u"mnuTextCopyHeader"_s, u"ヘッダ付コピー(&H)"_s), &QAction::triggered, this,
            &BodyCommands::copyWithHeader);

    m_widgets.body->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_widgets.body, &QWidget::customContextMenuRequested, this, &BodyCommands::ShowTextMenu);
}

QAction *BodyCommands::addItem(const QString &name, const QString &caption)
{
    QAction *item = m_widgets.textMenu->addAction(caption);
    item->setObjectName(name);
    m_menuItems.insert(name, item);
    return item;
}

/** The pane's selection; line breaks as CR LF, as in the texts the program copies and stores. */
QString BodyCommands::selectedBodyText() const
{
    QString text = m_widgets.body->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, CrLf);
    return text;
}

void BodyCommands::ShowTextMenu(const QPoint &at)
{
    if (!m_widgets.body->textCursor().hasSelection())
        return;
    loadWebSearchMenu();
    m_widgets.textMenu->popup(m_widgets.body->viewport()->mapToGlobal(at));
}

/** One item per key of section "WebSearch" in file order; caption = key, address = value. */
void BodyCommands::loadWebSearchMenu()
{
    for (QAction *item : std::as_const(m_webSearchItems)) {
        m_menuItems.remove(item->objectName());
        delete item;
    }
    m_webSearchItems.clear();
    // Selecting a missing section would create it, and an empty section means "no searches".
    if (gIniFile && gIniFile->Sections().contains(u"WebSearch"_s)) {
        gIniFile->setNowSection(u"WebSearch"_s);
        QAction *before = m_menuItems.value(u"mnuTextMSDN"_s);
        for (const QString &key : gIniFile->Keys()) {
            const QString name = u"mnuTextWebSearch(%1)"_s.arg(m_webSearchItems.size());
            auto *item = new QAction(key, m_widgets.textMenu);
            item->setObjectName(name);
            const QString address = gIniFile->Data(key);
            connect(item, &QAction::triggered, this, [this, address] {
                QString url = address;
                url.replace(u"%s"_s, mdlMain::URLEncode(selectedBodyText()));
                mdlExecuteLite::OpenAddress(url);
            });
            m_widgets.textMenu->insertAction(before, item);
            m_menuItems.insert(name, item);
            m_webSearchItems.append(item);
        }
    }
    m_webSearchSeparator->setVisible(!m_webSearchItems.isEmpty());
}

/** A query for the selected text in the bodies of the shown board. */
void BodyCommands::bodySearch()
{
    const QString text = selectedBodyText();
    m_commands.searchBodies(mdlOption::BBS_ID, text);
    m_widgets.findText->setEditText(text);
}

/**
 * Opens the selection as an address. Only web and mail addresses open: the selection is
 * board data and must never name a local file or program.
 */
void BodyCommands::openSelectedBodyAddress()
{
    QString address = selectedBodyText();
    address.remove(u'\r');
    address.remove(u'\n');
    address = address.trimmed();
    // The selection may be long: a refusal does not repeat it.
    if (!mdlExecuteLite::OpenableUrl(address).isValid()) {
        prompter().information(mdlExecuteLite::RefusedAddressText());
        return;
    }
    mdlExecuteLite::OpenAddress(address);
}

void BodyCommands::copyWithHeader()
{
    HeaderFields fields;
    const ListIndex Index = m_lists.CurrentList();
    const MessageListModel &list = m_lists.lsvMsgList(Index);
    const int row = m_widgets.lists.at(size_t(Index))->model() == &list ? m_commands.selectedRow(Index) : -1;
    if (row >= 0) {
        fields.number = QString::number(list.Message(row).ID);
        fields.subject = list.CellText(row, MessageListModel::ColSubject);
        fields.name = list.CellText(row, MessageListModel::ColName);
        fields.date = list.CellText(row, MessageListModel::ColDate);
    }
    putOnClipboard(replyHeader(mdlOption::ReplyHeader, m_current.BBS_Name(), m_current.ShortName(), fields,
                               selectedBodyText()));
}
