#pragma once

#include <QDialog>

class QLabel;

/**
 * @short The about box: product, version with revision, description, the versions of the
 * libraries the program runs on (Qt, SQLite, libarchive) and the licence.
 */
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    /** The licence line: the program is not free software. */
    static const QString LicenseText;

    explicit frmAbout(QWidget *parent = nullptr);

private:
    QLabel *addLabel(const char *name, const QString &text);
};
