#include "ui/SectionPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace kestrelon {

SectionPage::SectionPage(const QString& title, const QString& name, QWidget* parent)
    : QWidget(parent), m_title(title), m_titleBar(new QHBoxLayout), m_body(new QVBoxLayout)
{
    setObjectName(name);
    auto* heading = new QLabel(title, this);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    heading->setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    m_titleBar->addWidget(heading);
    m_titleBar->addStretch(1);
    layout->addLayout(m_titleBar);
    m_body->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_body, 1);
}

void SectionPage::addToTitle(QWidget* widget)
{
    // Before the stretch, beside the heading.
    m_titleBar->insertWidget(m_titleBar->count() - 1, widget);
}

} // namespace kestrelon
