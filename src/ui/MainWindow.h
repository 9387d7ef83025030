#pragma once

#include <QMainWindow>

#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QStackedWidget;
class QScrollArea;

namespace kestrelon {

class Application;
class CameraPage;
class IpRefreshPage;
class Prompts;
class SectionPage;
class SectionPanel;
class SystemPage;
class TimeServerPage;
class TrayController;
class VideoPage;
class WebServerPage;

// The main window: the column of section panels that switch the pages, the Help panel, the
// status panel, the status bar and the tray. Closing it runs the shutdown order. It shows the
// Application's state and calls its steps; the runner decides when the start-up steps run.
// Main thread.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 643;
    static constexpr int kMinHeight = 499;
    static constexpr int kMaxWidth = 935;
    static constexpr int kMaxHeight = 695;
    // The Video page's place among the pages and section panels.
    static constexpr int kVideoPage = 2;

    MainWindow(Application& app, Prompts& prompts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // A state label of the status panel: "Running" in green or "Stopped" in black.
    static void showState(QLabel* label, bool running);
    // Where the close question's top-left corner goes: over the middle of a visible window,
    // else near the screen's bottom right.
    static QPoint closeQuestionPosition(bool windowVisible, const QRect& frame, const QSize& screen);

    void setStatusText(const QString& text);
    QString statusText() const;
    bool scrollLayout() const { return m_scrollLayout; }

    TrayController& tray() { return *m_tray; }
    WebServerPage* webServerPage() const { return m_webServerPage; }
    SystemPage* systemPage() const { return m_systemPage; }
    TimeServerPage* timeServerPage() const { return m_timeServerPage; }
    CameraPage* cameraPage() const { return m_cameraPage; }
    VideoPage* videoPage() const { return m_videoPage; }
    IpRefreshPage* ipRefreshPage() const { return m_ipRefreshPage; }
    // Shows a page without the side effects of a click.
    void showPage(int page);

    QStackedWidget* PageControl1;
    std::vector<SectionPanel*> sectionPanels; // Panel2, Panel3, Panel64, Panel6, Panel7, Panel28
    SectionPanel* Panel25;                    // "Help"
    QGroupBox* Panel1;                        // the status panel
    QLabel* Label10;                          // Web Server
    QLabel* Label30;                          // Time Check
    QLabel* Label11;                          // Camera
    QLabel* Label42;                          // IP-Refresh
    QLabel* Panel43;                          // counter 1's total
    QLabel* Label117;                         // "Running" on the Video panel while streaming
    QLabel* lblDebugNoteIPRefresh;

public Q_SLOTS:
    // A section panel was clicked: its page is shown.
    void MainTabClick(int page);
    void Panel25Click();
    void Exit1Click();
    // A message box while the window is visible, else the status bar text.
    void showMessage(const QString& text);
    // SIGINT or SIGTERM: the shutdown order without the close question. A settings file that
    // cannot be written does not keep the window open then: nobody may be there to see why.
    void closeWithoutQuestion();
    void setDebugNotesVisible(bool visible);

Q_SIGNALS:
    // The window's first showing and first activation, each once per run.
    void firstShown();
    void firstActivated();
    // A section or Help panel was clicked (the splash goes).
    void panelClicked();
    // The shutdown order has run; the program may end with this status (1 when a close by a
    // signal could not save the settings).
    void finished(int exitStatus);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeSideColumn();
    QWidget* makePageArea();
    void serverStateChanged();
    // Label11 from the camera's state: "Stopped", "Available" or "Running".
    void cameraStateChanged();
    // The window title, Label42 and the status bar from IP-Refresh's state.
    void ipRefreshStateChanged();
    void showCameraPage();
    void streamStateChanged();
    // The side panel shows counter 1's total while "Show count on side panel" is set.
    void showHitCount();
    void emitFirstShown();
    void FormActivate();
    bool FormCloseQuery();

    Application& m_app;
    Prompts& m_prompts;
    TrayController* m_tray;
    WebServerPage* m_webServerPage = nullptr;
    SystemPage* m_systemPage = nullptr;
    TimeServerPage* m_timeServerPage = nullptr;
    CameraPage* m_cameraPage = nullptr;
    VideoPage* m_videoPage = nullptr;
    IpRefreshPage* m_ipRefreshPage = nullptr;
    std::string m_ipRefreshStatus; // the status text IP-Refresh showed last
    QScrollArea* m_pageScroll = nullptr;
    bool m_scrollLayout = false;
    bool m_shown = false;
    bool m_firstShowDone = false;
    bool m_activated = false;
    bool m_skipQuestion = false;
    bool m_finished = false;
    int m_exitStatus = 0;
};

} // namespace kestrelon
