#include "ui/VideoPage.h"

#include "app/Application.h"
#include "streaming/StreamProfile.h"
#include "streaming/VideoStreaming.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"
#include "ui/StreamPreviewView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

QLabel* indicator(const QString& text, const QColor& colour, QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->hide();
    return label;
}

} // namespace

VideoPage::VideoPage(Application& app, QWidget* parent)
    : SectionPage("Video Encoder", "TabSheet25", parent), m_settings(app.settings()),
      m_streaming(app.videoStreaming()), m_binder(new SettingsBinder(app.settings(), this))
{
    VideoWindow1 = new StreamPreviewView(app.streamPreview(), this);
    Label119 = indicator("NO PREVIEW", Qt::red, VideoWindow1, "Label119");
    auto* over = new QVBoxLayout(VideoWindow1);
    over->addWidget(Label119, 0, Qt::AlignCenter);

    btnStartVideo = named(new QPushButton("Start", this), "btnStartVideo");
    btnStopVideo = named(new QPushButton("Stop", this), "btnStopVideo");
    btnVideoPreview = named(new QPushButton("Preview", this), "btnVideoPreview");
    Label116 = indicator("STREAMING", QColor(0x00, 0x80, 0x00), this, "Label116");
    // Its place stays while it is hidden, so the page does not shift at Start and Stop.
    QSizePolicy keepPlace = Label116->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    Label116->setSizePolicy(keepPlace);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStartVideo);
    buttons->addWidget(btnStopVideo);
    buttons->addWidget(btnVideoPreview);
    buttons->addSpacing(12);
    buttons->addWidget(Label116);
    buttons->addStretch(1);

    auto* clientsBox = named(new QGroupBox("Client connections", this), "gbClients");
    ListBox8 = named(new QListWidget(clientsBox), "ListBox8");
    ListBox8->setSelectionMode(QAbstractItemView::NoSelection);
    auto* clients = new QVBoxLayout(clientsBox);
    clients->addWidget(ListBox8);

    auto* left = new QVBoxLayout;
    left->addWidget(VideoWindow1);
    left->addLayout(buttons);
    left->addWidget(clientsBox, 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addWidget(makeEncoderBox(), 1, Qt::AlignTop);
    body()->addLayout(columns, 1);

    connect(btnStartVideo, &QPushButton::clicked, this, &VideoPage::btnStartVideoClick);
    connect(btnStopVideo, &QPushButton::clicked, this, &VideoPage::btnStopVideoClick);
    connect(btnVideoPreview, &QPushButton::clicked, this, &VideoPage::btnVideoPreviewClick);
    connect(cbSource, &QComboBox::activated, this, &VideoPage::cbSourceChange);
    connect(cbProfiles, &QComboBox::activated, this, &VideoPage::cbProfilesChange);
    // After the boxes have written their state to the settings.
    connect(cbNoPreview, &QCheckBox::clicked, this, &VideoPage::cbNoPreviewClick);
    connect(cbAutoStream, &QCheckBox::clicked, this, &VideoPage::cbAutoStreamClick);
    connect(edVideoPort, &QLineEdit::editingFinished, this, &VideoPage::edVideoPortExit);
    connect(&app.settings(), &SettingsModel::changed, this, &VideoPage::settingsChanged);
    connect(&m_streaming, &VideoStreaming::stateChanged, this, &VideoPage::streamStateChanged);
    connect(&m_streaming, &VideoStreaming::clientListChanged, this, &VideoPage::clientListChanged);

    cbSource->addItems(m_streaming.sourceNames());
    settingsChanged();
    streamStateChanged();
    clientListChanged(m_streaming.clientList());
}

QGroupBox* VideoPage::makeEncoderBox()
{
    gbEncoder = named(new QGroupBox("Encoder Settings", this), "gbEncoder");
    cbSource = named(new QComboBox(gbEncoder), "cbSource");
    cbSource->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbSource->setMinimumContentsLength(16);
    cbProfiles = named(new QComboBox(gbEncoder), "cbProfiles");
    for (const StreamProfileRow& row : kStreamProfiles) {
        cbProfiles->addItem(QString::fromLatin1(row.item));
    }
    spQuality = named(new QSpinBox(gbEncoder), "spQuality");
    spQuality->setRange(kMinStreamQuality, kMaxStreamQuality);
    spQuality->setSingleStep(5);
    edClip = named(new QLineEdit(gbEncoder), "edClip");
    spUsers = named(new QSpinBox(gbEncoder), "spUsers");
    spUsers->setRange(0, 10);
    edVideoPort = named(new QLineEdit(gbEncoder), "edVideoPort");
    edVideoPort->setMaxLength(5);
    edVideoPort->setMaximumWidth(70);
    cbNoPreview = named(new QCheckBox("No preview", gbEncoder), "cbNoPreview");
    cbAutoStream = named(new QCheckBox("Start streaming automatically", gbEncoder), "cbAutoStream");

    auto* form = new QFormLayout(gbEncoder);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow("Video source", cbSource);
    form->addRow("Bitrate", cbProfiles);
    form->addRow("Quality", spQuality);
    form->addRow("Clip title", edClip);
    form->addRow("Max. Users", spUsers);
    form->addRow("Port", edVideoPort);
    form->addRow(cbNoPreview);
    form->addRow(cbAutoStream);
    edClip->setMinimumWidth(180);

    m_binder->bind(spQuality, &Settings::VidStream, &VidStreamSettings::Quality);
    m_binder->bind(edClip, &Settings::VidStream, &VidStreamSettings::Clip);
    m_binder->bind(spUsers, &Settings::VidStream, &VidStreamSettings::Users);
    m_binder->bind(edVideoPort, &Settings::VidStream, &VidStreamSettings::Port);
    m_binder->bind(cbNoPreview, &Settings::VidStream, &VidStreamSettings::NoPreview);
    m_binder->bind(cbAutoStream, &Settings::VidStream, &VidStreamSettings::Stream);
    return gbEncoder;
}

void VideoPage::btnStartVideoClick()
{
    m_streaming.btnStartVideoClick();
}

void VideoPage::btnStopVideoClick()
{
    m_streaming.btnStopVideoClick();
}

void VideoPage::btnVideoPreviewClick()
{
    m_streaming.btnVideoPreviewClick();
}

void VideoPage::cbSourceChange(int position)
{
    m_streaming.cbSourceChange(position);
}

void VideoPage::cbProfilesChange(int row)
{
    m_settings.update([row](Settings& s) { s.VidStream.Profile = row; });
    m_streaming.ApplyProfile();
}

void VideoPage::cbNoPreviewClick()
{
    m_streaming.cbNoPreviewClick();
}

void VideoPage::cbAutoStreamClick()
{
    m_streaming.cbAutoStreamClick();
}

void VideoPage::edVideoPortExit()
{
    if (m_streaming.edVideoPortExit()) {
        edVideoPort->setFocus();
    }
}

void VideoPage::settingsChanged()
{
    m_binder->load();
    const auto s = m_settings.snapshot();
    if (cbProfiles->currentIndex() != streamProfileRow(s->VidStream.Profile)) {
        cbProfiles->setCurrentIndex(streamProfileRow(s->VidStream.Profile));
    }
    if (cbSource->currentIndex() != m_streaming.sourcePosition()) {
        cbSource->setCurrentIndex(m_streaming.sourcePosition());
    }
}

void VideoPage::streamStateChanged()
{
    Label116->setVisible(m_streaming.streaming());
    Label119->setVisible(m_streaming.noPreviewShown());
    cbSource->setEnabled(m_streaming.sourceEnabled());
    cbNoPreview->setEnabled(m_streaming.noPreviewEnabled());
    btnVideoPreview->setEnabled(m_streaming.previewEnabled());
    btnStartVideo->setEnabled(m_streaming.startEnabled());
    btnStopVideo->setEnabled(m_streaming.stopEnabled());
}

void VideoPage::clientListChanged(const QStringList& clients)
{
    ListBox8->clear();
    ListBox8->addItems(clients);
}

} // namespace kestrelon
