#include "ui/TemplatePairDialog.h"

#include "core/SettingsModel.h"
#include "ui/Named.h"
#include "ui/Prompts.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

namespace kestrelon {

namespace {

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

TemplatePairDialog::TemplatePairDialog(PairKind kind, SettingsModel& settings, Prompts& prompts,
                                       QWidget* parent)
    : QDialog(parent), m_kind(kind), m_settings(settings), m_prompts(prompts)
{
    const bool local = kind == PairKind::Local;
    setObjectName(local ? "Form4" : "Form5");
    setModal(true);
    edTemplate = named(new QLineEdit(this), local ? "edTemplate" : "edRemoteTemplate");
    btnBrowseTemplate = named(new QPushButton("Browse...", this), "btnBrowseTemplate");
    edTarget = named(new QLineEdit(this), local ? "edLocalFile" : "edRemoteFile");
    btnBrowseTarget = named(new QPushButton("Browse...", this), "btnBrowseTarget");
    btnBrowseTarget->setVisible(local);
    if (!local) {
        edTarget->setPlaceholderText("index.htm or /public_html/index.htm");
    }
    btnOK = named(new QPushButton("OK", this), local ? "Button2" : "Button1");
    btnOK->setDefault(true);
    btnCancel = named(new QPushButton("Cancel", this), local ? "Button1" : "Button2");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Template", this), 0, 0);
    grid->addWidget(edTemplate, 1, 0);
    grid->addWidget(btnBrowseTemplate, 1, 1);
    grid->addWidget(new QLabel(local ? "Local File" : "Remote File", this), 2, 0);
    grid->addWidget(edTarget, 3, 0);
    grid->addWidget(btnBrowseTarget, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    setMinimumWidth(460);

    connect(btnBrowseTemplate, &QPushButton::clicked, this,
            [this, local] { browse(edTemplate, local ? "tem" : "htm", true); });
    connect(btnBrowseTarget, &QPushButton::clicked, this, [this] { browse(edTarget, "htm", false); });
    connect(btnOK, &QPushButton::clicked, this, &TemplatePairDialog::okClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<TemplatePair> TemplatePairDialog::pairs() const
{
    auto s = m_settings.snapshot();
    return m_kind == PairKind::Local ? s->localTemplates : s->remoteTemplates;
}

void TemplatePairDialog::showFor(int editRow)
{
    const std::vector<TemplatePair> list = pairs();
    m_row = editRow >= 0 && static_cast<size_t>(editRow) < list.size() ? editRow : -1;
    setWindowTitle(pairDialogTitle(m_kind, m_row >= 0));
    if (m_row >= 0) {
        edTemplate->setText(QString::fromStdString(list[static_cast<size_t>(m_row)].templateFile));
        edTarget->setText(QString::fromStdString(list[static_cast<size_t>(m_row)].outputFile));
    } else {
        edTemplate->clear();
        edTarget->clear();
    }
    open();
}

void TemplatePairDialog::browse(QLineEdit* edit, const char* suffix, bool existing)
{
    const QString folder = edit->text().isEmpty() ? QString() : QFileInfo(edit->text()).absolutePath();
    const QString file = existing ? m_prompts.openFile(this, folder, "All Files (*)", suffix)
                                  : m_prompts.saveFile(this, folder, "All Files (*)", suffix);
    if (!file.isEmpty()) {
        edit->setText(file);
    }
}

void TemplatePairDialog::okClick()
{
    const PairInput input{edTemplate->text().toStdString(), edTarget->text().toStdString()};
    const std::string refusal = checkPairDialog(m_kind, pairs(), m_row, input, &isFile);
    if (!refusal.empty()) {
        m_prompts.message(this, QString::fromStdString(refusal));
        return;
    }
    m_settings.update([&](Settings& s) {
        applyPairDialog(m_kind == PairKind::Local ? s.localTemplates : s.remoteTemplates, m_row, input);
    });
    accept();
}

} // namespace kestrelon
