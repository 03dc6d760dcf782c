#include "viewer/frmAbout.h"

#include "app/mdlApp.h"
#include "db/Database.h"
#include "transfer/CBBS.h"
#include "viewer/frmSplash.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

const QString frmAbout::LicenseText = u"ライセンス: GNU 一般公衆利用許諾書 第3版以降 (GPL-3.0-or-later)。このプログラムは無保証です。"_s;

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"バージョン情報 - "_s + mdlApp::GetAppTitle());
    setAccessibleName(u"バージョン情報"_s);

    auto *imgIcon = new QLabel(this);
    imgIcon->setObjectName(u"imgIcon"_s);
    imgIcon->setPixmap(QIcon(u":/images/MAINICON.svg"_s).pixmap(48, 48));
    imgIcon->setAccessibleName(u"アイコン"_s);

    QLabel *product = addLabel("lblProduct", QString::fromLatin1(mdlApp::ProductName) + u' ' + mdlApp::GetVersionString(true));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    QLabel *description = addLabel("lblFullName", frmSplash::FileDescription);
    QLabel *qt = addLabel("lblQtVersion", u"Qt "_s + QString::fromLatin1(qVersion()));
    QLabel *sqlite = addLabel("lblSQLiteVersion", u"SQLite "_s + Database::EngineVersion());
    QLabel *archive = addLabel("lblArchiveVersion", CBBS::ArchiveLibraryVersion());
    QLabel *copyright = addLabel("lblCopyright", frmSplash::LegalCopyright);
    QLabel *license = addLabel("lblLicense", LicenseText);
    license->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton *cmdOK = buttons->button(QDialogButtonBox::Ok);
    cmdOK->setObjectName(u"cmdOK"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *grid = new QGridLayout(this);
    grid->addWidget(imgIcon, 0, 0, 3, 1, Qt::AlignTop);
    int row = 0;
    for (QLabel *label : {product, description})
        grid->addWidget(label, row++, 1);
    grid->addItem(new QSpacerItem(0, 8), row++, 1);
    for (QLabel *label : {qt, sqlite, archive})
        grid->addWidget(label, row++, 1);
    grid->addItem(new QSpacerItem(0, 8), row++, 1);
    for (QLabel *label : {copyright, license})
        grid->addWidget(label, row++, 1);
    grid->addWidget(buttons, row, 0, 1, 2);
    grid->setColumnMinimumWidth(0, 64);
    setMinimumWidth(420);
}

QLabel *frmAbout::addLabel(const char *name, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAccessibleName(text);
    return label;
}
