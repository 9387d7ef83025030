#include "ui/UploadLogTab.h"

#include "camera/SnapshotUpload.h"
#include "ui/LogView.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

UploadLogTab::UploadLogTab(SettingsModel& settings, SnapshotUpload& upload, Prompts& prompts,
                           QString saveFolder, QWidget* parent)
    : QWidget(parent), m_upload(upload), m_binder(new SettingsBinder(settings, this))
{
    setObjectName("tsFTPLog");
    ListBox4 = new LogView(upload.log(), prompts, {"ListBox4", {}, std::move(saveFolder)}, this);
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
    // The view's own "Clear Log" is the button's: the count beside the log follows it too.
    ListBox4->clearAction->disconnect(ListBox4);
    connect(ListBox4->clearAction, &QAction::triggered, this, &UploadLogTab::btnCameraLogClearClick);
    connect(Button9, &QPushButton::clicked, this, &UploadLogTab::Button9Click);
    connect(&upload, &SnapshotUpload::label80Changed, Label80, &QLabel::setText);
}

void UploadLogTab::loadSettings()
{
    m_binder->load();
}

void UploadLogTab::btnCameraLogClearClick()
{
    m_upload.clearLog();
    ListBox4->refresh();
}

void UploadLogTab::Button9Click()
{
    ListBox4->saveClick();
}

} // namespace kestrelon
