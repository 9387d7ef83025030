#pragma once

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
    void logChanged();
    void memCopyClick();
    void memSelectAllClick();
    void memClearClick();
    void memSaveClick();
    void memBlockClick();

private:
    void updateMenu();

    MessageLog& m_log;
    WebServer& m_server;
    Prompts& m_prompts;
    QString m_saveFolder;
    QMenu* m_menu;
    // What the view shows: the log's first lines up to m_shown, the last of them m_lastShown.
    size_t m_shown = 0;
    std::string m_lastShown;
};

} // namespace kestrelon
