#include "ui/MainWindow.h"

#include "app/Application.h"
#include "camera/CameraPreview.h"
#include "camera/SnapshotPass.h"
#include "camera/SnapshotUpload.h"
#include "ui/CameraPage.h"
#include "ui/IpRefreshPage.h"
#include "ui/ProgramIcon.h"
#include "ui/Prompts.h"
#include "ui/SectionPage.h"
#include "ui/SectionPanel.h"
#include "ui/StyleChoice.h"
#include "ui/SystemPage.h"
#include "ui/TimeServerPage.h"
#include "ui/TrayController.h"
#include "ui/VideoPage.h"
#include "ui/WebServerPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>

namespace kestrelon {

namespace {

// The page area of the scroll-bar layout stays this much smaller than the screen.
constexpr int kScrollSpareWidth = 25;
constexpr int kScrollSpareHeight = 135;

// Panel captions with their object names, in page order.
struct Section {
    const char* caption;
    const char* panel;
};
constexpr Section kSections[] = {
    {"Web Server", "Panel2"},  {"Camera", "Panel3"}, {"Video", "Panel64"},
    {"Time Server", "Panel6"}, {"System", "Panel7"}, {"IP-Refresh", "Panel28"},
};

} // namespace

MainWindow::MainWindow(Application& app, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_prompts(prompts),
      m_tray(new TrayController(*this, app.settings(), this))
{
    setObjectName("Form1");
    setWindowTitle("Kestrelon");
    setWindowIcon(programIcon());
    // The layout mode is read once: a change takes effect at the next start.
    m_scrollLayout = app.settings().snapshot()->System.Scrollbars;

    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(makeSideColumn());
    layout->addWidget(makePageArea(), 1);
    setCentralWidget(central);
    statusBar()->setObjectName("StatusBar1");
    statusBar()->setSizeGripEnabled(!m_scrollLayout);

    setMinimumSize(kMinWidth, kMinHeight);
    if (!m_scrollLayout) {
        setMaximumSize(kMaxWidth, kMaxHeight);
    }
    // Wide enough for every tab of the Web Server page to show without scrolling.
    resize(880, 620);
    // A 640 x 480 picture needs the largest window.
    if (app.settings().snapshot()->Camera.rb480) {
        resize(kMaxWidth, kMaxHeight);
    }

    // Queued, so a box never opens in the middle of the server's own state change.
    connect(&app, &Application::messageBox, this, &MainWindow::showMessage, Qt::QueuedConnection);
    connect(&app.webServer(), &WebServer::stateChanged, this, &MainWindow::serverStateChanged);
    connect(&app.webServer(), &WebServer::debugNotesVisible, this, &MainWindow::setDebugNotesVisible);
    connect(m_tray, &TrayController::exitRequested, this, &MainWindow::Exit1Click);
    // Hits change counter 1 on server threads; counter 2 has no side panel.
    connect(&app.webServer().counters().one(), &HitCounter::changed, this, &MainWindow::showHitCount,
            Qt::QueuedConnection);
    connect(&app.settings(), &SettingsModel::changed, this, &MainWindow::showHitCount);
    // The time check's state label and its "Connecting to Time Server..." while a check runs.
    connect(&app.timeCheck(), &TimeCheck::dailyStateChanged, this,
            [this](bool running) { showState(Label30, running); });
    connect(&app.timeCheck(), &TimeCheck::statusTextChanged, this, &MainWindow::setStatusText);
    // The camera's state label, its status texts, and the error report of a snapshot file that
    // cannot be written.
    connect(&app.camera().preview(), &CameraPreview::cameraStatusChanged, this,
            &MainWindow::cameraStateChanged);
    connect(&app.camera(), &Camera::statusLine, this, &MainWindow::setStatusText);
    connect(&app.camera().pass(), &SnapshotPass::snapshotWriteFailed, this, &MainWindow::showMessage,
            Qt::QueuedConnection);
    connect(&app, &Application::cameraPageRequested, this, &MainWindow::showCameraPage);
    // The snapshot upload's "Connecting to ..." and "Connected to ...", cleared at its disconnect.
    connect(&app.snapshotUpload(), &SnapshotUpload::statusTextChanged, this, &MainWindow::setStatusText);
    // The stream's "Running" on the Video panel, its status texts, and its questions, asked over
    // the window.
    connect(&app.videoStreaming(), &VideoStreaming::stateChanged, this, &MainWindow::streamStateChanged);
    connect(&app, &Application::streamStatusLine, this, &MainWindow::setStatusText);
    app.setQuestion([this](const QString& text) {
        const QSize screenSize = screen() ? screen()->size() : QSize();
        return m_prompts.confirm(this, text, closeQuestionPosition(isVisible(), frameGeometry(), screenSize));
    });
    streamStateChanged();
    connect(&app.ipRefresh().state(), &IpRefreshState::changed, this, &MainWindow::ipRefreshStateChanged);
    serverStateChanged();
    ipRefreshStateChanged();
    cameraStateChanged();
    showState(Label30, app.timeCheck().dailyRunning());
    showHitCount();
    showPage(0);
}

MainWindow::~MainWindow()
{
    // The questions would ask a window that is gone.
    m_app.setQuestion({});
}

QWidget* MainWindow::makeSideColumn()
{
    auto* column = new QWidget(this);
    column->setObjectName("SideColumn");
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    int page = 0;
    for (const Section& section : kSections) {
        auto* panel = new SectionPanel(section.caption, section.panel, column);
        connect(panel, &SectionPanel::clicked, this, [this, page] { MainTabClick(page); });
        sectionPanels.push_back(panel);
        layout->addWidget(panel);
        ++page;
    }
    // "Running" inside the Video panel while the stream runs; a click on it is one on the panel.
    Label117 = new QLabel("Running", sectionPanels[kVideoPage]);
    Label117->setObjectName("Label117");
    // On a light ground of its own, so it reads on the marked panel of the page on show too.
    Label117->setStyleSheet(
        "QLabel { color: #008000; background: white; border-radius: 3px; padding: 0 3px; }");
    Label117->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    Label117->hide();
    sectionPanels[kVideoPage]->layout()->addWidget(Label117);
    layout->addSpacing(8);
    Panel25 = new SectionPanel("Help", "Panel25", column);
    Panel25->setEnabled(m_app.helpDocumentExists());
    connect(Panel25, &SectionPanel::clicked, this, &MainWindow::Panel25Click);
    layout->addWidget(Panel25);
    layout->addStretch(1);

    Panel43 = new QLabel(column);
    Panel43->setObjectName("Panel43");
    Panel43->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel43->setAlignment(Qt::AlignCenter);
    Panel43->setMinimumHeight(Panel43->fontMetrics().height() + 12);
    Panel43->setToolTip("Hit Counter 1");
    Panel43->hide();
    layout->addWidget(Panel43);

    Panel1 = new QGroupBox(m_scrollLayout ? QString() : QString("Kestrelon"), column);
    Panel1->setObjectName("Panel1");
    auto* states = new QGridLayout(Panel1);
    states->setHorizontalSpacing(10);
    states->setVerticalSpacing(2);
    auto addState = [&](const char* caption, const char* name, int row) {
        auto* label = new QLabel(Panel1);
        label->setObjectName(name);
        showState(label, false);
        states->addWidget(new QLabel(caption, Panel1), row, 0);
        states->addWidget(label, row, 1);
        return label;
    };
    Label10 = addState("Web Server", "Label10", 0);
    Label30 = addState("Time Check", "Label30", 1);
    Label11 = addState("Camera", "Label11", 2);
    Label42 = addState("IP-Refresh", "Label42", 3);
    layout->addWidget(Panel1);

    column->setFixedWidth(172);
    return column;
}

QWidget* MainWindow::makePageArea()
{
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName("PageControl1");
    m_webServerPage = new WebServerPage(m_app, m_prompts, PageControl1);
    PageControl1->addWidget(m_webServerPage);
    m_cameraPage = new CameraPage(m_app, m_prompts, PageControl1);
    PageControl1->addWidget(m_cameraPage);
    m_videoPage = new VideoPage(m_app, PageControl1);
    PageControl1->addWidget(m_videoPage);
    m_timeServerPage = new TimeServerPage(m_app, m_prompts, PageControl1);
    PageControl1->addWidget(m_timeServerPage);
    m_systemPage = new SystemPage(m_app, m_prompts, PageControl1);
    PageControl1->addWidget(m_systemPage);
    m_ipRefreshPage = new IpRefreshPage(m_app, m_prompts, PageControl1);
    PageControl1->addWidget(m_ipRefreshPage);
    lblDebugNoteIPRefresh = m_ipRefreshPage->lblDebugNoteIPRefresh;

    if (!m_scrollLayout) {
        return PageControl1;
    }
    // Scroll-bar layout: the pages keep their size and scroll inside an area a little smaller
    // than the screen.
    m_pageScroll = new QScrollArea(this);
    m_pageScroll->setObjectName("PageScroll");
    m_pageScroll->setWidgetResizable(true);
    m_pageScroll->setWidget(PageControl1);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        m_pageScroll->setMaximumSize(size.width() - kScrollSpareWidth, size.height() - kScrollSpareHeight);
    }
    return m_pageScroll;
}

void MainWindow::showState(QLabel* label, bool running)
{
    label->setText(running ? "Running" : "Stopped");
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, running ? QColor(0x00, 0x80, 0x00) : QColor(Qt::black));
    label->setPalette(palette);
}

QPoint MainWindow::closeQuestionPosition(bool windowVisible, const QRect& frame, const QSize& screen)
{
    if (windowVisible) {
        return {frame.left() + frame.width() / 2 - 20, frame.top() + frame.height() / 2 - 30};
    }
    return {screen.width() - 200, screen.height() - 220};
}

void MainWindow::setStatusText(const QString& text)
{
    statusBar()->showMessage(text);
}

QString MainWindow::statusText() const
{
    return statusBar()->currentMessage();
}

void MainWindow::MainTabClick(int page)
{
    showPage(page);
    Q_EMIT panelClicked();
}

void MainWindow::showPage(int page)
{
    PageControl1->setCurrentIndex(page);
    for (size_t i = 0; i < sectionPanels.size(); ++i) {
        sectionPanels[i]->setCurrent(static_cast<int>(i) == page);
    }
}

void MainWindow::Panel25Click()
{
    Q_EMIT panelClicked();
    if (m_app.helpDocumentExists()) {
        const QString path = QString::fromStdString(m_app.helpDocumentPath());
        if (!m_prompts.openDocument(path)) {
            m_prompts.message(this, "No viewer could be opened for the user guide. It is the file " + path +
                                        ", which any web browser shows.");
        }
        return;
    }
    m_prompts.message(this, QStringLiteral("Kestrelon " KESTRELON_VERSION "\n\n"
                                           "Made by the Kestrelon developers."));
}

void MainWindow::Exit1Click()
{
    close();
}

void MainWindow::showMessage(const QString& text)
{
    if (isVisible()) {
        m_prompts.message(this, text);
    } else {
        setStatusText(text);
    }
}

void MainWindow::closeWithoutQuestion()
{
    m_skipQuestion = true;
    close();
    m_skipQuestion = false;
}

void MainWindow::setDebugNotesVisible(bool visible)
{
    m_webServerPage->setDebugNoteVisible(visible);
    lblDebugNoteIPRefresh->setVisible(visible);
}

void MainWindow::serverStateChanged()
{
    showState(Label10, m_app.webServer().running());
}

void MainWindow::cameraStateChanged()
{
    const CameraPreview& preview = m_app.camera().preview();
    Label11->setText(preview.cameraStatusText());
    QPalette palette = Label11->palette();
    palette.setColor(QPalette::WindowText, toQColor(preview.cameraStatusColour()));
    Label11->setPalette(palette);
}

void MainWindow::streamStateChanged()
{
    Label117->setVisible(m_app.videoStreaming().streaming());
}

void MainWindow::ipRefreshStateChanged()
{
    const auto& f = m_app.ipRefresh().state().fields();
    showState(Label42, f.running);
    const QString title = QString::fromStdString(f.windowTitle);
    if (windowTitle() != title) {
        setWindowTitle(title);
    }
    // The status bar is shared: only a change of IP-Refresh's own text is shown.
    if (f.statusText != m_ipRefreshStatus) {
        m_ipRefreshStatus = f.statusText;
        setStatusText(QString::fromStdString(f.statusText));
    }
}

void MainWindow::showCameraPage()
{
    showPage(1);
    m_cameraPage->showPreview();
}

void MainWindow::showHitCount()
{
    Panel43->setText(m_app.webServer().counters().one().totalText());
    Panel43->setVisible(m_app.settings().snapshot()->WebServe.ShowCount);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // After the show has gone through, so a message box of the start-up finds the window
        // on the screen.
        QMetaObject::invokeMethod(this, &MainWindow::emitFirstShown, Qt::QueuedConnection);
    }
}

void MainWindow::emitFirstShown()
{
    if (m_shown && !m_firstShowDone) {
        m_firstShowDone = true;
        Q_EMIT firstShown();
    }
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        m_tray->windowMinimized();
    } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void MainWindow::FormActivate()
{
    if (m_activated || !m_shown) {
        return;
    }
    m_activated = true;
    // The first showing's steps come first, even when the activation overtakes them.
    emitFirstShown();
    showPage(0);
    m_webServerPage->showInternetConnection();
    m_cameraPage->showPreview();
    Q_EMIT firstActivated();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_tray->removeIcon();
    event->accept();
    Q_EMIT finished(m_exitStatus);
}

bool MainWindow::FormCloseQuery()
{
    if (m_finished) {
        return true;
    }
    // Only SIGTERM and SIGINT skip the question; nobody may be there to answer it.
    const bool byUser = !m_skipQuestion;
    const QSize screenSize = screen() ? screen()->size() : QSize();
    const QPoint at = closeQuestionPosition(isVisible(), frameGeometry(), screenSize);
    if (byUser && m_app.settings().snapshot()->WebServe.ClosePrompt) {
        QApplication::beep();
        if (!m_prompts.confirm(this, "Close Kestrelon?", at)) {
            return false;
        }
    }
    // Another program's changes to the settings file are not replaced without asking; without
    // anybody to ask they are kept.
    bool replace = false;
    bool asked = false;
    if (byUser && m_app.settingsFileChanged()) {
        asked = true;
        replace = m_prompts.confirm(this,
                                    QString::fromStdString(m_app.paths().settingsFile) +
                                        " was changed by another program since Kestrelon read it.\n"
                                        "Replace it with Kestrelon's settings?",
                                    at);
    }
    const auto result =
        m_app.shutdown(byUser ? Application::CloseReason::User : Application::CloseReason::Signal, replace);
    if (!result.finished) {
        m_prompts.message(this, QString::fromStdString(result.message));
        return false;
    }
    if (!result.message.empty() && !asked) {
        // The window is about to go; standard error is what a session log keeps.
        std::fprintf(stderr, "kestrelon: %s\n", result.message.c_str());
    }
    m_exitStatus = result.exitStatus;
    m_finished = true;
    return true;
}

} // namespace kestrelon
