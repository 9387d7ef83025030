#pragma once

#include "core/Settings.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace kestrelon {

// "Add item to schedule": an every-day time or a date and time, and the value to write. One
// instance lives for the whole run, so it opens with the choices made last time. OK accepts,
// Cancel rejects; the opener reads entry() after an accept. Main thread.
class ScheduleDialog : public QDialog {
    Q_OBJECT
public:
    explicit ScheduleDialog(QWidget* parent = nullptr);

    // The entry the dialog describes, enabled: the time as "HH:mm:ss" with "Every day", else
    // "dd/MM/yyyy HH:mm:ss"; the value as typed, unchecked.
    ScheduleEntry entry() const;

    QCheckBox* CheckBox1; // "Every day"
    QLabel* lblDate;
    QDateEdit* DateTimePicker2;
    QTimeEdit* DateTimePicker1;
    QLineEdit* Edit1; // "I/O value"
    QPushButton* btnOK;
    QPushButton* btnCancel;

public Q_SLOTS:
    // The date is not asked for while "Every day" is checked.
    void CheckBox1Click();
};

} // namespace kestrelon
