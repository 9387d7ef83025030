#include "ui/OverlayTab.h"

#include "camera/Overlay.h"
#include "camera/SnapshotPass.h"
#include "core/SettingsModel.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"
#include "ui/StyleChoice.h"
#include "ui/TimeFormatDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

OverlayTab::OverlayTab(SettingsModel& settings, SnapshotPass& pass, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_pass(pass), m_prompts(prompts),
      m_binder(new SettingsBinder(settings, this))
{
    setObjectName("Camerats4");
    auto* captions = named(new QGroupBox("Captions", this), "gbCaptions");
    cbOverlay = named(new QCheckBox("Use Date/Time Overlay", captions), "cbOverlay");
    edCameraOverlay = named(new QLineEdit(captions), "edCameraOverlay");
    btnOverlayHelp = named(new QPushButton("Help", captions), "btnOverlayHelp");
    cbText = named(new QCheckBox("Use Text Overlay", captions), "cbText");
    edText = named(new QLineEdit(captions), "edText");
    auto* grid = new QGridLayout(captions);
    grid->addWidget(cbOverlay, 0, 0, 1, 2);
    grid->addWidget(new QLabel("Format", captions), 1, 0);
    grid->addWidget(edCameraOverlay, 1, 1);
    grid->addWidget(btnOverlayHelp, 1, 2);
    grid->addWidget(cbText, 2, 0, 1, 2);
    grid->addWidget(new QLabel("Text", captions), 3, 0);
    grid->addWidget(edText, 3, 1);
    grid->setColumnStretch(1, 1);

    auto* styleBox = named(new QGroupBox("Style", this), "gbStyle");
    btnFont = named(new QPushButton("Choose Font", styleBox), "btnFont");
    btnBkColour = named(new QPushButton("Colour", styleBox), "btnBkColour");
    cbTransp = named(new QCheckBox("Transparent", styleBox), "cbTransp");
    Panel24 = named(new QLabel(styleBox), "Panel24");
    Panel24->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel24->setAlignment(Qt::AlignCenter);
    Panel24->setTextFormat(Qt::PlainText);
    Panel24->setAutoFillBackground(true);
    Panel24->setMinimumSize(300, 48);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnFont);
    buttons->addWidget(btnBkColour);
    buttons->addWidget(cbTransp);
    buttons->addStretch();
    auto* style = new QVBoxLayout(styleBox);
    style->addLayout(buttons);
    style->addWidget(Panel24);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(captions);
    layout->addWidget(styleBox);
    layout->addStretch();

    m_binder->bind(cbOverlay, &Settings::Camera, &CameraSettings::Overlay);
    m_binder->bind(edCameraOverlay, &Settings::Camera, &CameraSettings::OvText);
    m_binder->bind(cbText, &Settings::Camera, &CameraSettings::cbText);
    m_binder->bind(edText, &Settings::Camera, &CameraSettings::Text);
    m_binder->bind(cbTransp, &Settings::Archiver, &ArchiverSettings::Transp);

    connect(btnFont, &QPushButton::clicked, this, &OverlayTab::btnFontClick);
    connect(btnBkColour, &QPushButton::clicked, this, &OverlayTab::btnBkColourClick);
    connect(cbTransp, &QCheckBox::clicked, this, &OverlayTab::cbTranspClick);
    connect(btnOverlayHelp, &QPushButton::clicked, this, &OverlayTab::OverLayHelp);
    // A new pattern or text shows on the captions at once.
    connect(edCameraOverlay, &QLineEdit::textChanged, &pass, &SnapshotPass::refreshCaptions);
    connect(edText, &QLineEdit::textChanged, &pass, &SnapshotPass::refreshCaptions);
    connect(&pass, &SnapshotPass::captionsChanged, Panel24,
            [this](const QString& dateCaption) { Panel24->setText(dateCaption); });
    Camerats4Show();
}

void OverlayTab::loadSettings()
{
    m_binder->load();
    Camerats4Show();
}

void OverlayTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_pass.refreshCaptions();
    Camerats4Show();
}

void OverlayTab::Camerats4Show()
{
    const auto s = m_settings.snapshot();
    const OverlayStyle style = OverlayStyle::fromSettings(s->Archiver);
    btnBkColour->setEnabled(!s->Archiver.Transp);
    Panel24->setFont(style.font);
    QPalette palette = Panel24->palette();
    palette.setColor(QPalette::WindowText, style.colour);
    // The window's face colour shows through a transparent background.
    palette.setColor(QPalette::Window,
                     s->Archiver.Transp ? QWidget::palette().color(QPalette::Window) : style.background);
    Panel24->setPalette(palette);
    Panel24->setText(m_pass.dateCaption());
}

void OverlayTab::btnFontClick()
{
    const ArchiverSettings archiver = m_settings.snapshot()->Archiver;
    QFont font = dialogFont(archiver.FontName, archiver.FontSize, archiver.FontStyle);
    if (!m_prompts.chooseFont(this, font)) {
        return;
    }
    // The font dialog has no colour: the text's colour is asked for next. Cancelling that keeps
    // the old colour but not the old font.
    QColor colour = toQColor(archiver.Colour1);
    const bool colourChosen = m_prompts.chooseColour(this, "Text Colour", colour);
    m_settings.update([&](Settings& s) {
        s.Archiver.FontName = font.family().toStdString();
        s.Archiver.FontSize = pointSize(font);
        s.Archiver.FontStyle = styleBits(font);
        if (colourChosen) {
            s.Archiver.Colour1 = toColour(colour);
        }
    });
    Camerats4Show();
}

void OverlayTab::btnBkColourClick()
{
    QColor colour = toQColor(m_settings.snapshot()->Archiver.BackCol);
    if (m_prompts.chooseColour(this, "Background Colour", colour)) {
        m_settings.update([&](Settings& s) { s.Archiver.BackCol = toColour(colour); });
    }
    Camerats4Show();
}

void OverlayTab::cbTranspClick()
{
    Camerats4Show();
}

void OverlayTab::OverLayHelp()
{
    // The one "Time Format" dialog of the window, which the Time Server page made.
    if (!m_timeFormat) {
        m_timeFormat = window()->findChild<TimeFormatDialog*>("TForm2");
    }
    if (!m_timeFormat) {
        m_timeFormat = new TimeFormatDialog(this);
    }
    m_timeFormat->open();
}

} // namespace kestrelon
