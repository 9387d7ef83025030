#include "ui/SectionPanel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace kestrelon {

SectionPanel::SectionPanel(const QString& caption, const QString& name, QWidget* parent)
    : QFrame(parent), m_caption(new QLabel(caption, this))
{
    setObjectName(name);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    setMinimumHeight(34);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    QFont font = m_caption->font();
    font.setBold(true);
    m_caption->setFont(font);
    m_caption->setAlignment(Qt::AlignCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_caption);
}

QString SectionPanel::caption() const
{
    return m_caption->text();
}

void SectionPanel::setCurrent(bool current)
{
    QPalette palette = parentWidget() ? parentWidget()->palette() : QPalette();
    if (current) {
        palette.setColor(QPalette::Window, palette.color(QPalette::Highlight));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::HighlightedText));
    }
    setPalette(palette);
}

void SectionPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setFrameShadow(QFrame::Sunken);
    }
    QFrame::mousePressEvent(event);
}

void SectionPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && frameShadow() == QFrame::Sunken) {
        setFrameShadow(QFrame::Raised);
        if (rect().contains(event->position().toPoint())) {
            Q_EMIT clicked();
        }
    }
    QFrame::mouseReleaseEvent(event);
}

void SectionPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT clicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

void SectionPanel::changeEvent(QEvent* event)
{
    // A disabled panel (Help without its document) shows its caption greyed.
    if (event->type() == QEvent::EnabledChange) {
        m_caption->setEnabled(isEnabled());
    }
    QFrame::changeEvent(event);
}

} // namespace kestrelon
