#pragma once

#include <string>

class QLabel;
class QLineEdit;
class QWidget;

// Shows a feature's texts in widgets. Main thread.

namespace kestrelon {

// A sunken panel that shows one line of text, as the status panels do.
QLabel* panelLabel(const char* name, QWidget* parent, int minimumWidth = 0);

// Sets the text only when it differs, without the change signals, so a box being typed in keeps
// its cursor and a change from the feature does not come back as an edit.
void showText(QLineEdit* edit, const std::string& text);
void showText(QLabel* label, const std::string& text);

} // namespace kestrelon
