#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class QAction;
class QMenu;
class QWidget;

/**
 * @short One icon in the desktop's notification area, with its tooltip, its pop-up menu and
 * the mouse events Qt reports for it.
 *
 * Qt reports a click, a double click, a right click (the context request) and a middle click,
 * but no presses or moves: a click raises Click, a double click DblClick, a right click
 * MouseUp(2) and a middle click MouseUp(4). The icon shows only where the desktop
 * has a notification area (IsAvailable); elsewhere AddIcon refuses and Visible stays false.
 */
class CTray : public QObject
{
    Q_OBJECT

public:
    /** Most characters of tooltip text the icon shows; longer text is cut. */
    static constexpr qsizetype TooltipLength = 63;

    explicit CTray(QObject *parent = nullptr);
    ~CTray() override;

    /** @short The window the icon belongs to (given to AddIcon). */
    QWidget *hWnd() const { return m_hWnd; }
    QIcon Icon() const { return m_icon; }
    /** @short Sets the picture; a shown icon changes at once. */
    void SetIcon(const QIcon &icon);
    QString TooltipText() const { return m_tooltip; }
    /** @short Sets the tooltip: the text up to its first NUL, at most TooltipLength characters. */
    void SetTooltipText(const QString &text);
    /** @short True while the icon is in the notification area. */
    bool Visible() const { return m_visible; }
    /** @short true adds the icon for the remembered window (AddIcon), false removes it. */
    void SetVisible(bool visible);

    /**
     * @short Puts the icon into the notification area for window @p owner. False, changing
     * nothing, when there is no picture or the desktop has no notification area.
     */
    bool AddIcon(QWidget *owner);
    /** @short Takes the icon out of the notification area. */
    void DeleteIcon();
    /**
     * @short Shows a desktop notification from the icon: @p title over @p text. Nothing shows,
     * and nothing fails, while the icon is not in the notification area.
     */
    void ShowMessage(const QString &title, const QString &text);
    /** @short Shows @p ViewMenu at the mouse pointer with @p DefaultMenu as its default (bold) item. */
    void PopupMenu(QMenu *ViewMenu, QAction *DefaultMenu);

    /** @short True when the desktop offers a notification area. */
    static bool IsAvailable();
    /** @short Replaces the test of IsAvailable (tests); an empty function restores it. */
    static void setAvailabilityHandler(std::function<bool()> handler);
    /** @short Receives the notifications instead of the desktop (tests); an empty function restores it. */
    static void setMessageHandler(std::function<void(const QString &title, const QString &text)> handler);

signals:
    void Click();
    void DblClick();
    /** A button was released over the icon: 2 the right one, 4 the middle one. */
    void MouseUp(int Button);
    /** The user clicked the last notification. */
    void MessageClicked();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_tray;
    QIcon m_icon;
    QString m_tooltip;
    QPointer<QWidget> m_hWnd;
    bool m_visible = false;
};
