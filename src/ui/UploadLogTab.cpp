#include "ui/UploadLogTab.h"

#include "camera/SnapshotUpload.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

UploadLogTab::UploadLogTab(SettingsModel& settings, SnapshotUpload& upload, Prompts& prompts,
                           QString saveFolder, QWidget* parent)
    : QWidget(parent), m_upload(upload), m_prompts(prompts), m_saveFolder(std::move(saveFolder)),
      m_binder(new SettingsBinder(settings, this))
{
    setObjectName("tsFTPLog");
    ListBox4 = named(new QListWidget(this), "ListBox4");
    ListBox4->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cbCameraLog = named(new QCheckBox("Enable FTP Log", this), "cbCameraLog");
    Label80 = named(new QLabel(upload.Label80(), this), "Label80");
    btnCameraLogClear = named(new QPushButton("Clear Log", this), "btnCameraLogClear");
    Button9 = named(new QPushButton("Save Log", this), "Button9");

    auto* row = new QHBoxLayout;
    row->addWidget(cbCameraLog);
    row->addSpacing(10);
    row->addWidget(new QLabel("Lines:", this));
    row->addWidget(Label80);
    row->addStretch();
    row->addWidget(btnCameraLogClear);
    row->addWidget(Button9);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox4, 1);
    layout->addLayout(row);

    m_binder->bind(cbCameraLog, &Settings::Camera, &CameraSettings::CameraLog);
    connect(btnCameraLogClear, &QPushButton::clicked, this, &UploadLogTab::btnCameraLogClearClick);
    connect(Button9, &QPushButton::clicked, this, &UploadLogTab::Button9Click);
    connect(&upload, &SnapshotUpload::label80Changed, Label80, &QLabel::setText);
    connect(&upload.log(), &UploadLog::lineAppended, this, &UploadLogTab::lineAppended);
    connect(&upload.log(), &UploadLog::cleared, ListBox4, &QListWidget::clear);
    for (const std::string& line : upload.log().lines()) {
        ListBox4->addItem(QString::fromStdString(line));
    }
}

void UploadLogTab::loadSettings()
{
    m_binder->load();
}

void UploadLogTab::lineAppended(const QString& line)
{
    ListBox4->addItem(line);
    // The newest line stays in sight.
    ListBox4->scrollToBottom();
}

void UploadLogTab::btnCameraLogClearClick()
{
    m_upload.clearLog();
}

void UploadLogTab::Button9Click()
{
    const QString file = m_prompts.saveFile(this, m_saveFolder, "Log Files (*.txt)", "txt");
    if (file.isEmpty()) {
        return;
    }
    if (!m_upload.log().save(file.toStdString())) {
        m_prompts.message(this, "Unable to write to " + file);
    }
}

} // namespace kestrelon
