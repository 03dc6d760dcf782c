#pragma once

#include <QWidget>

class QLabel;

/**
 * @short The start-up window: the program's icon, title, version, revision, legal notice and
 * description. Shown before the database opens; the main window removes it when it is up.
 */
class frmSplash : public QWidget
{
    Q_OBJECT

public:
    /** The legal notice and the file description of the program. */
    static const QString LegalCopyright;
    static const QString FileDescription;

    explicit frmSplash(QWidget *parent = nullptr);

private:
    QLabel *addLabel(const char *name, const QString &text);
};
