#include "viewer/frmSplash.h"

#include "app/mdlApp.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>

using namespace Qt::StringLiterals;

const QString frmSplash::LegalCopyright = u"Copyright (C) Tessera の開発者たち"_s;
const QString frmSplash::FileDescription = u"掲示板のログをオフラインで読むためのプログラム"_s;

frmSplash::frmSplash(QWidget *parent)
    // An ordinary window without frame, not a splash-screen one: window managers keep those
    // above everything, and the start-up questions (a new database, missing folders) must
    // not end up behind it.
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(u"frmSplash"_s);
    setStyleSheet(u"#frmSplash { background: #fbfaf6; border: 1px solid #2f4858; }"_s);

    auto *imgIcon = new QLabel(this);
    imgIcon->setObjectName(u"imgIcon"_s);
    imgIcon->setPixmap(QIcon(u":/images/MAINICON.svg"_s).pixmap(64, 64));
    imgIcon->setAccessibleName(u"アイコン"_s);

    QLabel *title = addLabel("lblTitle", QString::fromLatin1(mdlApp::ProductName));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    title->setFont(big);
    QLabel *version = addLabel("lblVersion", mdlApp::GetVersionString() + u'.');
    QLabel *revision = addLabel("lblVerRevision", mdlApp::ZeroPadded(TESSERA_VERSION_REVISION, 4));
    QLabel *copyright = addLabel("lblCopyright", LegalCopyright);
    QLabel *fullName = addLabel("lblFullName", FileDescription);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(24, 20, 24, 20);
    grid->addWidget(imgIcon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(title, 0, 1, 1, 2);
    grid->addWidget(version, 1, 1, Qt::AlignRight);
    grid->addWidget(revision, 1, 2, Qt::AlignLeft);
    grid->addWidget(fullName, 2, 1, 1, 2);
    grid->addWidget(copyright, 3, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    // Version and revision read as one text; the icon keeps its distance.
    grid->setHorizontalSpacing(0);
    grid->setColumnMinimumWidth(0, 84);
}

QLabel *frmSplash::addLabel(const char *name, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(text);
    return label;
}
