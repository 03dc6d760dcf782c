#include "viewer/CTray.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

namespace {

/** Mouse buttons as the icon's events number them. */
constexpr int RightButton = 2;
constexpr int MiddleButton = 4;

std::function<bool()> &availabilityHandler()
{
    static std::function<bool()> handler;
    return handler;
}

std::function<void(const QString &, const QString &)> &messageHandler()
{
    static std::function<void(const QString &, const QString &)> handler;
    return handler;
}

} // namespace

CTray::CTray(QObject *parent)
    : QObject(parent)
{
    connect(&m_tray, &QSystemTrayIcon::activated, this, &CTray::onActivated);
    connect(&m_tray, &QSystemTrayIcon::messageClicked, this, &CTray::MessageClicked);
}

CTray::~CTray()
{
    if (m_visible)
        DeleteIcon();
}

void CTray::SetIcon(const QIcon &icon)
{
    m_icon = icon;
    m_tray.setIcon(icon);
}

void CTray::SetTooltipText(const QString &text)
{
    QString tip = text;
    if (const qsizetype end = tip.indexOf(QChar(0)); end >= 0)
        tip.truncate(end);
    if (tip.size() > TooltipLength) {
        tip.truncate(TooltipLength);
        // Never leave half of a surrogate pair at the end.
        if (tip.back().isHighSurrogate())
            tip.chop(1);
    }
    m_tooltip = tip;
    m_tray.setToolTip(tip);
}

void CTray::SetVisible(bool visible)
{
    if (visible)
        AddIcon(m_hWnd);
    else
        DeleteIcon();
}

bool CTray::AddIcon(QWidget *owner)
{
    // Without a notification area the icon would be nowhere, and a window hidden into it
    // could never come back.
    if (m_icon.isNull() || !IsAvailable())
        return false;
    m_hWnd = owner;
    m_tray.show();
    m_visible = true;
    return true;
}

void CTray::DeleteIcon()
{
    m_tray.hide();
    m_visible = false;
}

void CTray::PopupMenu(QMenu *ViewMenu, QAction *DefaultMenu)
{
    ViewMenu->setDefaultAction(DefaultMenu);
    ViewMenu->popup(QCursor::pos());
}

void CTray::ShowMessage(const QString &title, const QString &text)
{
    if (!m_visible)
        return;
    if (const auto &handler = messageHandler())
        handler(title, text);
    else
        m_tray.showMessage(title, text, m_icon);
}

bool CTray::IsAvailable()
{
    if (const auto &handler = availabilityHandler())
        return handler();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTray::setAvailabilityHandler(std::function<bool()> handler)
{
    availabilityHandler() = std::move(handler);
}

void CTray::setMessageHandler(std::function<void(const QString &, const QString &)> handler)
{
    messageHandler() = std::move(handler);
}

void CTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        emit Click();
        break;
    case QSystemTrayIcon::DoubleClick:
        emit DblClick();
        break;
    case QSystemTrayIcon::Context:
        emit MouseUp(RightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
        emit MouseUp(MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}
