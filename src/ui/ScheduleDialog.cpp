#include "ui/ScheduleDialog.h"

#include "ui/Named.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

constexpr const char* kDatePattern = "dd/MM/yyyy";
constexpr const char* kTimePattern = "HH:mm:ss";

} // namespace

ScheduleDialog::ScheduleDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("TForm6");
    setWindowTitle("Add item to schedule");

    // Both pickers start at the moment the dialog is made, as a fresh picker does.
    const QDateTime now = QDateTime::currentDateTime();
    CheckBox1 = named(new QCheckBox("Every day", this), "CheckBox1");
    lblDate = named(new QLabel("Date", this), "lblDate");
    DateTimePicker2 = named(new QDateEdit(now.date(), this), "DateTimePicker2");
    DateTimePicker2->setDisplayFormat(kDatePattern);
    DateTimePicker2->setCalendarPopup(true);
    lblDate->setBuddy(DateTimePicker2);
    auto* timeLabel = new QLabel("Time", this);
    DateTimePicker1 = named(new QTimeEdit(now.time(), this), "DateTimePicker1");
    DateTimePicker1->setDisplayFormat(kTimePattern);
    timeLabel->setBuddy(DateTimePicker1);
    auto* valueLabel = new QLabel("I/O value", this);
    Edit1 = named(new QLineEdit("0", this), "Edit1");
    valueLabel->setBuddy(Edit1);
    btnOK = named(new QPushButton("OK", this), "btnOK");
    btnOK->setDefault(true);
    btnCancel = named(new QPushButton("Cancel", this), "btnCancel");

    auto* fields = new QGridLayout;
    fields->addWidget(CheckBox1, 0, 1);
    fields->addWidget(lblDate, 1, 0);
    fields->addWidget(DateTimePicker2, 1, 1);
    fields->addWidget(timeLabel, 2, 0);
    fields->addWidget(DateTimePicker1, 2, 1);
    fields->addWidget(valueLabel, 3, 0);
    fields->addWidget(Edit1, 3, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(260, 0)));

    connect(CheckBox1, &QCheckBox::toggled, this, &ScheduleDialog::CheckBox1Click);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    CheckBox1Click();
}

void ScheduleDialog::CheckBox1Click()
{
    const bool dated = !CheckBox1->isChecked();
    lblDate->setEnabled(dated);
    DateTimePicker2->setEnabled(dated);
}

ScheduleEntry ScheduleDialog::entry() const
{
    QString time = DateTimePicker1->time().toString(kTimePattern);
    if (!CheckBox1->isChecked()) {
        time = DateTimePicker2->date().toString(kDatePattern) + " " + time;
    }
    return {time.toStdString(), Edit1->text().toStdString(), true};
}

} // namespace kestrelon
