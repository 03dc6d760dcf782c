#pragma once

#include <QDialog>

#include <optional>

class Database;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class uSeparator;

/**
 * @short The query window: an editor for one Jet SQL statement, the database's stored queries
 * (load, save, delete), and the tables with their fields as a help for writing.
 *
 * It runs nothing: "実行(F5)" returns the editor text, "キャンセル" an empty text. Works on
 * the log database it is given and gIniFile (section "SQLDialogPosition").
 */
class frmSQL : public QDialog
{
    Q_OBJECT

public:
    /** @p db holds the stored queries and tables the window shows; it must outlive the window. */
    explicit frmSQL(Database &db, QWidget *OwnerForm = nullptr);
    ~frmSQL() override;

    /** @short Shows the window modally with @p DefaultSQL; the statement to run, or "" when cancelled. */
    static QString ShowSQL(Database &db, const QString &DefaultSQL, QWidget *OwnerForm);

    /** @short Fills the window for @p DefaultSQL and places it; ShowSQL then shows it. */
    void Load(const QString &DefaultSQL);
    QString Result() const { return m_result; }
    /** @short True when the editor text changed since opening, loading or saving. */
    bool Modified() const { return m_modified; }
    /** @short A short description of @p field of the log tables; "" for any other. */
    static QString FieldDescription(const QString &table, const QString &field);

    void done(int r) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fillQueries();
    void fillTables();
    void fillFields(const QString &table);
    void showFieldInfo();
    void insertCondition();
    void chooseQuery(const QString &name);
    std::optional<QString> askQueryName();
    void saveClicked();
    void deleteClicked();
    bool saveQuery(const QString &name, const QString &sql);
    void listSavedQuery(const QString &name);
    void deleteQuery(const QString &name);
    void reportError(const QString &what);
    void applyPosition();
    void savePosition();
    void updateDeleteButton();

    Database &m_db;
    QPlainTextEdit *txtSQL;
    QComboBox *cmbQuery;
    QComboBox *cmbTable;
    QListWidget *lstField;
    QLabel *lblInfo;
    QPushButton *cmdExec;
    QPushButton *cmdSave;
    QPushButton *cmdDelete;
    QPushButton *cmdCancel;
    QWidget *picList;
    QWidget *picButtons;
    uSeparator *sep;
    QString m_result;
    bool m_modified = false;
    bool m_loading = false; // set while the window writes the editor itself
};
