#include "ui/TimeFormatDialog.h"

#include "timecheck/TimeCheck.h"
#include "ui/Named.h"

#include <QFont>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrelon {

TimeFormatDialog::TimeFormatDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("TForm2");
    setWindowTitle("Time Format");

    Memo1 = named(new QPlainTextEdit(this), "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // "Courier New" is drawn as its metric twin Liberation Mono; any fixed-pitch face will do.
    QFont fixed("Courier New");
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    Memo1->setFont(fixed);
    Memo1->setPlainText(QString::fromLatin1(kTimeFormatHelp));
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Big enough for the whole text: the window is fixed, so nothing may need scrolling.
    const QFontMetrics metrics(Memo1->font());
    int widest = 0;
    int lines = 0;
    for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next()) {
        widest = std::max(widest, metrics.horizontalAdvance(block.text()));
        ++lines;
    }
    const int margins = 2 * (Memo1->frameWidth() + static_cast<int>(Memo1->document()->documentMargin())) + 8;
    Memo1->setFixedSize(widest + margins, lines * metrics.lineSpacing() + margins);

    Button1 = named(new QPushButton("OK", this), "Button1");
    Button1->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &TimeFormatDialog::Button1Click);
}

void TimeFormatDialog::Button1Click()
{
    accept();
}

} // namespace kestrelon
