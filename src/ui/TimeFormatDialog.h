#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace kestrelon {

// "Time Format": the tokens of the date and time patterns, in a fixed window with a read-only
// text in a fixed-pitch font. "OK" closes it. One instance lives for the whole run and is opened
// modally by the pages' "Help" buttons. Main thread.
class TimeFormatDialog : public QDialog {
    Q_OBJECT
public:
    explicit TimeFormatDialog(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* Button1; // "OK"

public Q_SLOTS:
    void Button1Click();
};

} // namespace kestrelon
