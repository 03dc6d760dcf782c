#pragma once

#include "transfer/LoadRun.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTimer>

class BoardView;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
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
    /**
     * @short A board's load has ended with @p Outcome: its status line and log line, the warning
     * icon on a failed board's tab, then the board's cache line. False while the board's page is
     * still coming: its cache line follows, and BoardSettled says when (at most PageWaitMs later).
     */
    bool EndBBS(const LoadRun::Outcome &Outcome);
    /**
     * @short The page bar: page @p Page of the @p Pages the current board's load asks for; a
     * busy bar while @p Pages is 0 (not known).
     */
    void ShowPage(int Page, int Pages);
    /** @short After a run over several boards, the log ends with one line per board that failed. */
    void LogFailures(const QList<LoadRun::Outcome> &Outcomes);

    bool IsNextBBS() const { return m_isNextBBS; }
    void setIsNextBBS(bool value) { m_isNextBBS = value; }
    /** @short The status lines joined by CR LF. */
    QString Infomation() const { return m_lines.join(u"\r\n"); }
    bool ButtonEnabled() const;
    void setButtonEnabled(bool enabled);
    /**
     * @short 1: a run is active, the button reads "キャンセル"; 0: the button reads "OK", and the
     * first status line says that the run has ended.
     */
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
    /** The page of the board that EndBBS left waiting has come, and its cache line is in the log. */
    void BoardSettled();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    bool confirmClose();
    void restorePosition(QWidget *Owner);
    void savePosition();
    void showInfo();
    void appendLog(const QString &line);
    void cacheMessage(const QString &key, const QString &text);
    void settle(const QString &key);
    void stopWaiting();

    void endPages(bool whole);

    QLabel *lblInfo;
    QProgressBar *prgPages;
    int m_pagesRequested = 0; // pages of the current board requested so far
    QPushButton *cmdOK;
    QTabWidget *tabBBS;
    QPlainTextEdit *txtLog;
    QHash<QString, BoardView *> m_views;
    QStringList m_lines;
    QString m_caption; // "受信" or "インポート"
    QString m_log;
    QStringList m_unshownLog; // log lines not yet in the log tab
    QTimer *m_showInfo;       // shows the status lines and new log lines at most every ShowInfoMs
    QHash<QString, QString> m_cacheLines; // a board's cache line, logged when the board has ended
    QSet<QString> m_endedBoards;          // boards whose load has ended (tab keys)
    QString m_waitingBoard;               // the board whose page the run waits for, if any
    QTimer *m_pageWait;                   // bounds that wait
    int m_buttonMode = 0;
    bool m_isNextBBS = false;
    bool m_isLoad = false;
    bool m_unloading = false;
};
