#include "ui/DeviceControlsDialog.h"

#include "camera/CameraPreview.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace kestrelon {

DeviceControlsDialog::DeviceControlsDialog(CameraPreview& preview, QWidget* parent)
    : QDialog(parent), m_preview(preview), m_form(new QFormLayout)
{
    setObjectName("DeviceControls");
    setWindowTitle("Device Controls");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    btnClose = buttons->button(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(buttons);
    // A device that goes away takes its controls with it.
    connect(&preview, &CameraPreview::deviceControlsChanged, this, [this](bool available) {
        if (!available) {
            reject();
        }
    });
}

void DeviceControlsDialog::reload()
{
    while (m_form->rowCount() > 0) {
        m_form->removeRow(0);
    }
    for (const DeviceControl& control : m_preview.deviceControls()) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(control.name);
        slider->setRange(control.minimum, control.maximum);
        slider->setMinimumWidth(220);
        slider->setValue(m_preview.deviceControlValue(control.name).value_or(control.minimum));
        auto* value = new QLabel(QString::number(slider->value()), this);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-00000"));
        connect(slider, &QSlider::valueChanged, this, [this, name = control.name, value](int v) {
            m_preview.setDeviceControlValue(name, v);
            value->setNum(v);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(value);
        QString caption = control.name;
        caption[0] = caption[0].toUpper();
        m_form->addRow(caption + ":", row);
    }
    adjustSize();
}

} // namespace kestrelon
