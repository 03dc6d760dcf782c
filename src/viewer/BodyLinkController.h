#pragma once

#include "app/OneShotTimer.h"
#include "db/CMessage.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>


class QFrame;
class QMouseEvent;
class QPlainTextEdit;

/**
 * @short The links of the body pane: a click or Enter opens an address through the shell-open
 * layer or shows the message of a reply anchor; Tab and Shift+Tab move between the links; a
 * pointer resting on an anchor shows a preview of its messages, whose own anchors open further
 * previews, at most MaxPreviews deep. Escape, or the pointer leaving a preview, closes them.
 */
class BodyLinkController : public QObject
{
    Q_OBJECT

public:
    /** How long the pointer rests on an anchor before its preview shows. */
    static constexpr int PreviewDelay = 300;
    /** Previews open at most this deep. */
    static constexpr int MaxPreviews = 5;
    /** Messages of a range shown in one preview, and body lines of each. */
    static constexpr int PreviewMessages = 10;
    static constexpr int PreviewLines = 10;

    /** @short What the links ask of the window. */
    struct Commands
    {
        /** The board of the message in the pane; 0 when none is shown. */
        std::function<int()> shownBoard;
        /** Messages @p from to @p to of board @p BBS_ID (at most @p limit); nullopt when the database fails. */
        std::function<std::optional<QList<CMessage>>(int BBS_ID, int from, int to, int limit)> find;
        /** Shows message @p ID of board @p BBS_ID: its row in the list, or its thread in list 1. */
        std::function<void(int BBS_ID, int ID)> showMessage;
    };

    /** Watches @p pane; @p timer (nullptr: one of its own) times the previews. */
    BodyLinkController(QPlainTextEdit &pane, Commands commands, OneShotTimer *timer = nullptr);
    ~BodyLinkController() override;

    /** @short Times the previews with @p timer from now on (tests let time pass by hand). */
    void SetPreviewTimer(OneShotTimer &timer)
    {
        m_timer->Stop();
        m_timer = &timer;
    }
    /** @short The open previews, the first opened first. */
    QList<QPlainTextEdit *> Previews() const;
    /** @short The preview text of messages @p from to @p to of board @p BBS_ID. */
    QString PreviewText(int BBS_ID, int from, int to) const;
    /** @short Closes the previews deeper than @p depth (0: all of them). */
    void ClosePreviews(int depth = 0);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Pane
    {
        QPlainTextEdit *edit;
        int board;
        QFrame *frame; // nullptr for the body pane itself
    };

    int depthOf(QObject *watched) const;
    bool keyPress(int depth, int key, Qt::KeyboardModifiers modifiers);
    void mouseEvent(int depth, const QMouseEvent &mouse);
    void leave(int depth, QObject *watched);
    void mouseMove(int depth, const QPoint &at);
    void activate(int depth, const QString &href);
    bool focusLink(QPlainTextEdit &edit, bool forward);
    void showPreview(int depth, int from, int to, const QPoint &globalAt);

    QList<Pane> m_panes; // the body pane, then the open previews
    Commands m_commands;
    std::unique_ptr<OneShotTimer> m_ownTimer;
    OneShotTimer *m_timer;
    QString m_hovered;    // the href under the pointer
    QString m_pressed;    // the href under the pointer when the button went down
};
