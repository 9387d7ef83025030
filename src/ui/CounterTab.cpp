#include "ui/CounterTab.h"

#include "app/Application.h"
#include "core/Colours.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"
#include "ui/StyleChoice.h"
#include "web/CounterImage.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestrelon {

namespace {

// The preview and the tag view share one row of this height: room for the default font's
// image with a margin, and for three lines of tag text.
constexpr int kPreviewHeight = 64;

void setPanelColour(QScrollArea* panel, Colour colour)
{
    // The image label inside inherits the palette, so the whole panel shows the colour.
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    palette.setColor(QPalette::Base, toQColor(colour));
    panel->setPalette(palette);
}

QPushButton* smallButton(const QString& caption, QWidget* parent, const char* name)
{
    auto* button = named(new QPushButton(caption, parent), name);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance("+") + 24);
    return button;
}

} // namespace

CounterTab::CounterTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_app(app), m_prompts(prompts), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsExtras");
    QWidget* box1 = makeCounterBox(1);
    QWidget* box2 = makeCounterBox(2);
    btnDesktop = named(new QPushButton("Desktop", this), "btnDesktop");
    btnDesktop->setToolTip("The background colour of both previews");
    cbShowCount = named(new QCheckBox("Show count on side panel", this), "cbShowCount");
    auto* both = new QHBoxLayout;
    both->addWidget(btnDesktop);
    both->addWidget(cbShowCount);
    both->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box1);
    layout->addWidget(box2);
    layout->addLayout(both);
    layout->addStretch(1);

    HitCounters& counters = app.webServer().counters();
    m_views[0] = {&counters.one(), Panel42, Image4, Memo1};
    m_views[1] = {&counters.two(), Panel50, Image5, Memo2};

    m_binder->bind(cbDontCountOwn, &Settings::WebServe, &WebServeSettings::DontCountOwn);
    m_binder->bind(cbDontCountOwn2, &Settings::WebServe, &WebServeSettings::DontCountOwn2);
    m_binder->bind(cbShowCount, &Settings::WebServe, &WebServeSettings::ShowCount);

    connect(btnInc, &QPushButton::clicked, this, &CounterTab::btnIncClick);
    connect(btnDec, &QPushButton::clicked, this, &CounterTab::btnDecClick);
    connect(btnInc2, &QPushButton::clicked, this, &CounterTab::btnInc2Click);
    connect(SpeedButton3, &QPushButton::clicked, this, &CounterTab::SpeedButton3Click);
    connect(btnTextColour, &QPushButton::clicked, this, &CounterTab::btnTextColourClick);
    connect(Button7, &QPushButton::clicked, this, &CounterTab::Button7Click);
    connect(btnCounterColour, &QPushButton::clicked, this, &CounterTab::btnCounterColourClick);
    connect(Button5, &QPushButton::clicked, this, &CounterTab::Button5Click);
    connect(btnCopy, &QPushButton::clicked, this, &CounterTab::btnCopyClick);
    connect(Button6, &QPushButton::clicked, this, &CounterTab::Button6Click);
    connect(btnDesktop, &QPushButton::clicked, this, &CounterTab::btnDesktopClick);

    // Hits change the counters on server threads: the widgets follow on this one.
    for (int i = 0; i < 2; ++i) {
        connect(
            m_views[i].counter, &HitCounter::changed, this, [this, i] { showCounter(m_views[i]); },
            Qt::QueuedConnection);
    }
    connect(&app.settings(), &SettingsModel::changed, this, &CounterTab::settingsChanged);

    settingsChanged();
    showCounter(m_views[0]);
    showCounter(m_views[1]);
}

QWidget* CounterTab::makeCounterBox(int counter)
{
    const bool one = counter == 1;
    auto* box =
        named(new QGroupBox(one ? "Hit Counter 1 (hitcounter.bmp)" : "Hit Counter 2 (hitcounter2.bmp)", this),
              one ? "gbCounter1" : "gbCounter2");

    auto* panel = named(new QScrollArea(box), one ? "Panel42" : "Panel50");
    panel->setFrameShadow(QFrame::Sunken);
    panel->setWidgetResizable(true);
    panel->setFixedHeight(kPreviewHeight);
    // A large font makes a wide image: the panel scrolls rather than widening the page.
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* image = named(new QLabel, one ? "Image4" : "Image5");
    image->setAlignment(Qt::AlignCenter);
    panel->setWidget(image);

    auto* tag = named(new QPlainTextEdit(box), one ? "Memo1" : "Memo2");
    tag->setReadOnly(true);
    tag->setFixedHeight(kPreviewHeight);
    tag->setToolTip("Paste this tag into a page to show the counter");

    auto* inc = smallButton("+", box, one ? "btnInc" : "btnInc2");
    auto* dec = smallButton("-", box, one ? "btnDec" : "SpeedButton3");
    auto* font = named(new QPushButton("Font", box), one ? "btnTextColour" : "Button7");
    font->setToolTip("The font and the colour of the digits");
    auto* back = named(new QPushButton("Back Colour", box), one ? "btnCounterColour" : "Button5");
    auto* copy = named(new QPushButton("Copy to clipboard", box), one ? "btnCopy" : "Button6");
    auto* ownIP = named(new QCheckBox("Don't count own IP", box), one ? "cbDontCountOwn" : "cbDontCountOwn2");

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(inc);
    buttons->addWidget(dec);
    buttons->addSpacing(8);
    buttons->addWidget(font);
    buttons->addWidget(back);
    buttons->addSpacing(8);
    buttons->addWidget(copy);
    buttons->addStretch();
    // The tag wraps over fewer lines when its view is the wider of the two.
    auto* grid = new QGridLayout(box);
    grid->addWidget(panel, 0, 0);
    grid->addWidget(tag, 0, 1);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->addWidget(ownIP, 2, 0, 1, 2);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);

    if (one) {
        Panel42 = panel;
        Image4 = image;
        Memo1 = tag;
        btnInc = inc;
        btnDec = dec;
        btnTextColour = font;
        btnCounterColour = back;
        btnCopy = copy;
        cbDontCountOwn = ownIP;
    } else {
        Panel50 = panel;
        Image5 = image;
        Memo2 = tag;
        btnInc2 = inc;
        SpeedButton3 = dec;
        Button7 = font;
        Button5 = back;
        Button6 = copy;
        cbDontCountOwn2 = ownIP;
    }
    return box;
}

void CounterTab::btnIncClick()
{
    incDec(m_views[0], "inc");
}

void CounterTab::btnDecClick()
{
    incDec(m_views[0], "dec");
}

void CounterTab::btnInc2Click()
{
    incDec(m_views[1], "inc");
}

void CounterTab::SpeedButton3Click()
{
    incDec(m_views[1], "dec");
}

void CounterTab::btnTextColourClick()
{
    chooseFont(1);
}

void CounterTab::Button7Click()
{
    chooseFont(2);
}

void CounterTab::btnCounterColourClick()
{
    chooseBackColour(1);
}

void CounterTab::Button5Click()
{
    chooseBackColour(2);
}

void CounterTab::btnCopyClick()
{
    copyTag(m_views[0]);
}

void CounterTab::Button6Click()
{
    copyTag(m_views[1]);
}

void CounterTab::btnDesktopClick()
{
    QColor colour = toQColor(m_app.settings().snapshot()->WebServe.DeskColour);
    if (!m_prompts.chooseColour(this, "Desktop", colour)) {
        return;
    }
    // Both panels follow the setting; the images stay as they are.
    m_app.settings().update([&](Settings& s) { s.WebServe.DeskColour = toColour(colour); });
}

void CounterTab::tsExtrasShow()
{
    m_app.webServer().counters().redrawImages();
    showCounter(m_views[0]);
    showCounter(m_views[1]);
}

void CounterTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    tsExtrasShow();
}

void CounterTab::incDec(const CounterView& view, const char* direction)
{
    const std::string error = view.counter->IncDecHitCounter(direction);
    // At once, not only when the queued change arrives: the click's result is on the screen
    // before a message box opens.
    showCounter(view);
    if (!error.empty()) {
        m_prompts.message(this, QString::fromStdString(error));
    }
}

void CounterTab::chooseFont(int counter)
{
    const CounterStyle style = CounterStyle::fromSettings(m_app.settings().snapshot()->WebServe, counter);
    QFont font = dialogFont(style.fontName, style.fontSize, style.fontStyle);
    if (!m_prompts.chooseFont(this, font)) {
        return;
    }
    // The font dialog has no colour: the digits' colour is asked for next. Cancelling that
    // keeps the old colour but not the old font.
    QColor colour = toQColor(style.textColour);
    const bool colourChosen = m_prompts.chooseColour(this, "Text Colour", colour);
    m_app.settings().update([&](Settings& s) {
        WebServeSettings& web = s.WebServe;
        const bool one = counter == 1;
        (one ? web.CounterFontName : web.CounterFontName2) = font.family().toStdString();
        (one ? web.CounterFontSize : web.CounterFontSize2) = pointSize(font);
        (one ? web.CounterFontStyle : web.CounterFontStyle2) = styleBits(font);
        if (colourChosen) {
            (one ? web.TextColour : web.TextColour2) = toColour(colour);
        }
    });
    tsExtrasShow();
}

void CounterTab::chooseBackColour(int counter)
{
    const auto s = m_app.settings().snapshot();
    QColor colour = toQColor(counter == 1 ? s->WebServe.Colour1 : s->WebServe.Colour2);
    if (m_prompts.chooseColour(this, "Back Colour", colour)) {
        m_app.settings().update([&](Settings& changed) {
            (counter == 1 ? changed.WebServe.Colour1 : changed.WebServe.Colour2) = toColour(colour);
        });
    }
    // Redrawn even after Cancel.
    tsExtrasShow();
}

void CounterTab::copyTag(const CounterView& view)
{
    QGuiApplication::clipboard()->setText(view.tag->toPlainText());
}

void CounterTab::showCounter(const CounterView& view)
{
    const QString tag = view.counter->tagText();
    if (view.tag->toPlainText() != tag) {
        view.tag->setPlainText(tag);
    }
    const QImage image = view.counter->image();
    if (image.isNull()) {
        view.image->clear();
    } else {
        view.image->setPixmap(QPixmap::fromImage(image));
    }
}

void CounterTab::settingsChanged()
{
    m_binder->load();
    const Colour desk = m_app.settings().snapshot()->WebServe.DeskColour;
    setPanelColour(Panel42, desk);
    setPanelColour(Panel50, desk);
}

} // namespace kestrelon
