#pragma once

#include <QFrame>

class QLabel;

namespace kestrelon {

// A raised panel that acts as a button: drawn sunken while the mouse button is held on it,
// raised again on release, and clicked() when released over it. Space and Return click it too.
class SectionPanel : public QFrame {
    Q_OBJECT
public:
    SectionPanel(const QString& caption, const QString& name, QWidget* parent = nullptr);

    QString caption() const;
    // The panel of the page on show is marked, so the user sees where they are.
    void setCurrent(bool current);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_caption;
};

} // namespace kestrelon
