#include "ui/ShownText.h"

#include "ui/Named.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace kestrelon {

QLabel* panelLabel(const char* name, QWidget* parent, int minimumWidth)
{
    auto* label = named(new QLabel(parent), name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumHeight(label->fontMetrics().height() + 8);
    label->setMinimumWidth(minimumWidth);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void showText(QLineEdit* edit, const std::string& text)
{
    const QString value = QString::fromStdString(text);
    if (edit->text() != value) {
        QSignalBlocker block(edit);
        edit->setText(value);
    }
}

void showText(QLabel* label, const std::string& text)
{
    const QString value = QString::fromStdString(text);
    if (label->text() != value) {
        label->setText(value);
    }
}

} // namespace kestrelon
