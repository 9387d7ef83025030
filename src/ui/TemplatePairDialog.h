#pragma once

#include "iprefresh/TemplatePairs.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kestrelon {

class Prompts;
class SettingsModel;

// "Add Template and Local File" (TForm4) and "Add Template and Remote File" (TForm5): a template
// and its output file (a local path) or its remote name, added as a checked pair or edited in
// place. OK keeps the dialog open with a message while the texts cannot make a pair that comes
// back after a restart. Modal to the window; main thread.
class TemplatePairDialog : public QDialog {
    Q_OBJECT
public:
    TemplatePairDialog(PairKind kind, SettingsModel& settings, Prompts& prompts, QWidget* parent = nullptr);

    // Shows the dialog (open(), returning at once) to add a pair (editRow -1) or edit that row.
    void showFor(int editRow);

    QLineEdit* edTemplate;
    QPushButton* btnBrowseTemplate;
    QLineEdit* edTarget;          // the local file, or the remote file as typed
    QPushButton* btnBrowseTarget; // local pairs only
    QPushButton* btnOK;
    QPushButton* btnCancel;

public Q_SLOTS:
    void okClick();

private:
    std::vector<TemplatePair> pairs() const;
    void browse(QLineEdit* edit, const char* suffix, bool existing);

    const PairKind m_kind;
    SettingsModel& m_settings;
    Prompts& m_prompts;
    int m_row = -1;
};

} // namespace kestrelon
