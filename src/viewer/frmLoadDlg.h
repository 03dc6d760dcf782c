#pragma once

#include <QDialog>
#include <QHash>
#include <QStringList>
#include <QTimer>

class BoardView;
class CBBSProperty;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

/**
 * @short The modeless progress dialog of load and import runs: four status lines, the
 * cancel/OK button, and tabs for the run's log ("LOG") and for each board's page ("#" + the
 * board number in three digits).
 *
 * While a run is active (ButtonMode 1) closing it cancels the transfer first and, when boards
 * remain, asks whether the run goes on with the next one; the run starts no board while the
 * question is open (Asking). Closing deletes the dialog.
 */
class frmLoadDlg : public QDialog
{
    Q_OBJECT

public:
    explicit frmLoadDlg(QWidget *parent = nullptr);
    ~frmLoadDlg() override;

    /**
     * @short Captions the dialog @p Caption + "中... - " + the title (the log tab @p Caption +
     * "ログ"), restores the saved geometry, shows it over @p Owner (unless not @p Visible) and
     * sets ButtonMode 1.
     */
    void ShowDialog(const QString &Caption, QWidget *Owner, bool Visible = true);
    /**
     * @short Puts @p Message into status line @p row (1 to n; 0 the last line, lines are added
     * as needed); with @p flgAddLog a non-empty message is also appended to the log.
     */
    void UpdateInfo(const QString &Message, int row = 0, bool flgAddLog = false);
    /** @short Opens (or selects) the tab of @p Board, shows its page and its first status line. */
    void InitNewBBS(const CBBSProperty &Board, bool HasNext);

    bool IsNextBBS() const { return m_isNextBBS; }
    void setIsNextBBS(bool value) { m_isNextBBS = value; }
    /** @short The status lines joined by CR LF. */
    QString Infomation() const { return m_lines.join(u"\r\n"); }
    bool ButtonEnabled() const;
    void setButtonEnabled(bool enabled);
    /** @short 1: a run is active, the button reads "キャンセル"; 0: the button reads "OK". */
    int ButtonMode() const { return m_buttonMode; }
    void setButtonMode(int mode);
    /** @short True from ShowDialog until the dialog closes. */
    bool IsLoad() const { return m_isLoad; }

    /** @short The log text: every logged message followed by CR LF. */
    const QString &LogText() const { return m_log; }
    /** @short The view of board tab @p key ("#004"), or nullptr. */
    BoardView *View(const QString &key) const { return m_views.value(key); }
    /** @short Closes without asking: the run is abandoned (the program closes). */
    void Unload();

signals:
    /** The user closed the dialog during a run: the transfer must stop now. */
    void CancelRequested();
    /**
     * The question whether the run goes on with the next board opens (@p open true) or has been
     * answered (false; IsNextBBS() holds the answer). The run waits in between.
     */
    void Asking(bool open);

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    bool confirmClose();
    void restorePosition(QWidget *Owner);
    void savePosition();
    void showInfo();

    QLabel *lblInfo;
    QPushButton *cmdOK;
    QTabWidget *tabBBS;
    QPlainTextEdit *txtLog;
    QHash<QString, BoardView *> m_views;
    QStringList m_lines;
    QString m_log;
    QStringList m_unshownLog; // log lines not yet in the log tab
    QTimer *m_showInfo;       // shows the status lines and new log lines at most every ShowInfoMs
    int m_buttonMode = 0;
    bool m_isNextBBS = false;
    bool m_isLoad = false;
    bool m_unloading = false;
};
