#pragma once

#include <QTimer>
#include <QWidget>

namespace kestrelon {

// The start-up splash: borderless, on top, centred on the screen. It hides after its time, on a
// click, or when told to; once hidden it never comes back, and its native window is gone.
// Main thread.
class SplashScreen : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowMilliseconds = 2500;

    explicit SplashScreen(QWidget* parent = nullptr);

    // Shows the splash and starts its timer.
    void start();
    bool finished() const { return m_finished; }

public Q_SLOTS:
    void hideSplash();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QTimer m_timer;
    bool m_finished = false;
};

} // namespace kestrelon
