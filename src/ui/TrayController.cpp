#include "ui/TrayController.h"

#include "core/SettingsModel.h"
#include "ui/ProgramIcon.h"

#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace kestrelon {

TrayController::TrayController(QWidget& window, SettingsModel& settings, QObject* parent)
    : QObject(parent), TrayIcon(new QSystemTrayIcon(programIcon(), this)), PopupMenu2(new QMenu(&window)),
      m_window(window), m_settings(settings),
      m_available([] { return QSystemTrayIcon::isSystemTrayAvailable(); })
{
    TrayIcon->setObjectName("TrayIcon");
    TrayIcon->setToolTip("Kestrelon");
    PopupMenu2->setObjectName("PopupMenu2");
    Tray = PopupMenu2->addAction("Restore Kestrelon", this, &TrayController::TrayClick);
    Tray->setObjectName("Tray");
    PopupMenu2->addSeparator();
    Exit1 = PopupMenu2->addAction("Exit", this, &TrayController::exitRequested);
    Exit1->setObjectName("Exit1");
    TrayIcon->setContextMenu(PopupMenu2);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TrayController::iconActivated);
}

bool TrayController::windowMinimized()
{
    if (!m_settings.snapshot()->WebServe.Minimize || !m_available()) {
        return false;
    }
    m_inTray = true;
    // Hiding from inside the state change confuses some window managers: hide just after it.
    QTimer::singleShot(0, &m_window, [this] {
        if (m_inTray && m_window.isMinimized()) {
            m_window.hide();
            TrayIcon->show();
        } else {
            m_inTray = false;
        }
    });
    return true;
}

void TrayController::TrayClick()
{
    m_inTray = false;
    TrayIcon->hide();
    m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
}

void TrayController::removeIcon()
{
    TrayIcon->hide();
}

void TrayController::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        TrayClick();
    }
}

} // namespace kestrelon
