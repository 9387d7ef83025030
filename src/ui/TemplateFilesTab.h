#pragma once

#include "iprefresh/TemplatePairs.h"

#include <QWidget>

class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSplitter;

namespace kestrelon {

class Application;
class Prompts;
class SettingsBinder;
class TemplatePairDialog;

// IP-Refresh's "Remote Files" and "Local Files" pages: the template list beside its target list
// (remote names or local paths, each with its check mark), a splitter between them, "Add",
// "Edit", "Remove" and "Confirm files before refresh". Row i of one list belongs to row i of the
// other; selecting a row in either selects its partner. Main thread.
class TemplateFilesTab : public QWidget {
    Q_OBJECT
public:
    TemplateFilesTab(Application& app, Prompts& prompts, PairKind kind, QWidget* parent = nullptr);

    QSplitter* splitter;
    QListWidget* templates; // ListBox3 (remote), ListBox2 (local)
    QListWidget* targets;   // CheckListBox3, CheckListBox2
    QPushButton* btnAdd;
    QPushButton* btnEdit;
    QPushButton* btnRemove;
    QCheckBox* cbConfirm;
    TemplatePairDialog* dialog;

public Q_SLOTS:
    void addClick();
    void editClick();
    void removeClick();

private:
    void loadLists();
    void targetChanged(QListWidgetItem* item);
    void selectRow(int row);

    const PairKind m_kind;
    Application& m_app;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
