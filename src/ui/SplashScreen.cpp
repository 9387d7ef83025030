#include "ui/SplashScreen.h"

#include "ui/ProgramIcon.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

namespace kestrelon {

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("SplashScreen");
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto* panel = new QFrame(this);
    panel->setObjectName("SplashPanel");
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(2);
    // Sky blue, with the product name in large bold blue letters.
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, QColor(0xA6, 0xCA, 0xF0));
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    panel->setPalette(palette);

    auto* icon = new QLabel(panel);
    icon->setPixmap(programIcon().pixmap(64, 64));
    auto* name = new QLabel("Kestrelon", panel);
    name->setObjectName("SplashName");
    QFont font = name->font();
    font.setBold(true);
    font.setPointSize(32);
    name->setFont(font);

    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(28, 24, 36, 24);
    row->setSpacing(20);
    row->addWidget(icon);
    row->addWidget(name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);

    m_timer.setSingleShot(true);
    m_timer.setInterval(kShowMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &SplashScreen::hideSplash);
}

void SplashScreen::start()
{
    if (m_finished) {
        return;
    }
    adjustSize();
    if (QScreen* screen = this->screen()) {
        move(screen->geometry().center() - rect().center());
    }
    show();
    m_timer.start();
    // The start-up keeps the event loop busy for a while: paint the splash now, or it stays an
    // empty box until the loop runs.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void SplashScreen::hideSplash()
{
    const bool shown = isVisible();
    m_finished = true;
    m_timer.stop();
    if (!shown) {
        return;
    }
    hide();
    // The native window goes too, and the window system hears of it now: with the main thread
    // busy, a window manager would otherwise keep an always-on-top box on the screen.
    destroy();
    QGuiApplication::sync();
}

void SplashScreen::mousePressEvent(QMouseEvent*)
{
    hideSplash();
}

} // namespace kestrelon
