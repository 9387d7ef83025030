#pragma once

#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace kestrelon {

class SettingsModel;

// The tray icon and its menu. While "Minimize to SysTray" is set and the desktop has a tray,
// minimising the window hides it (and its taskbar button) and shows the icon; restoring brings
// the window back and hides the icon. Without a tray, minimising stays an ordinary minimise.
// Main thread.
class TrayController : public QObject {
    Q_OBJECT
public:
    TrayController(QWidget& window, SettingsModel& settings, QObject* parent = nullptr);

    // Whether the desktop has a tray; asked at each minimise, since a panel may come later.
    void setTrayAvailable(std::function<bool()> available) { m_available = std::move(available); }

    // The window has just been minimised. Returns true when it goes to the tray.
    bool windowMinimized();
    // The window is hidden with the icon in the tray.
    bool inTray() const { return m_inTray; }
    // At exit the icon goes, whatever the window's state.
    void removeIcon();

    QSystemTrayIcon* TrayIcon;
    QMenu* PopupMenu2;
    QAction* Tray;  // "Restore Kestrelon"
    QAction* Exit1; // "Exit"

public Q_SLOTS:
    void TrayClick();

Q_SIGNALS:
    // "Exit" on the tray menu: the window is to close through its usual shutdown.
    void exitRequested();

private:
    void iconActivated(QSystemTrayIcon::ActivationReason reason);

    QWidget& m_window;
    SettingsModel& m_settings;
    std::function<bool()> m_available;
    bool m_inTray = false;
};

} // namespace kestrelon
