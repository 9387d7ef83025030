#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <string>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace kestrelon {

class MessageLog;
class Prompts;
class WebServer;

// The "Server Log" view: the web server's Message log, read-only, with its line count and its
// pop-up menu. Main thread; the log itself may grow from any thread and announces it with a
// queued signal.
class ServerLogView : public QWidget {
    Q_OBJECT
public:
    // saveFolder: where "Save Log As..." starts.
    ServerLogView(MessageLog& log, WebServer& server, Prompts& prompts, QString saveFolder,
                  QWidget* parent = nullptr);

    // The pop-up menu, its items enabled for the log's present state.
    QMenu* popupMenu();

    QPlainTextEdit* memLog;
    QLabel* Label79; // the line count

    QAction* memCopy;
    QAction* memSelectAll;
    QAction* memClear;
    QAction* memSave;
    QAction* memBlock;

public Q_SLOTS:
    // The log grew or was emptied: shows it at once, or after a short pause when it changes
    // faster than a reader can follow, so a busy server does not keep the window busy.
    void logChanged();
    void memCopyClick();
    void memSelectAllClick();
    void memClearClick();
    void memSaveClick();
    void memBlockClick();

private:
    void updateMenu();
    void refresh();

    MessageLog& m_log;
    WebServer& m_server;
    Prompts& m_prompts;
    QString m_saveFolder;
    QMenu* m_menu;
    // What the view shows: the first m_shown lines of the log's epoch m_epoch.
    uint64_t m_epoch = 0;
    size_t m_shown = 0;
    QTimer* m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
};

} // namespace kestrelon
