#pragma once

#include "core/LineLog.h"

#include <QElapsedTimer>
#include <QMap>
#include <QTimer>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;

namespace kestrelon {

class Prompts;

// The view of one of the program's logs (a LineLog): read-only text, an optional line count, and
// a pop-up menu with "Copy", "Select All", "Clear Log", "Save Log As..." (where the log can be
// saved) and the owner's own items. Main thread; the log itself may grow from any thread and
// announces it with a queued signal, and the view copies out only the lines it lacks.
class LogView : public QWidget {
    Q_OBJECT
public:
    struct Setup {
        QString textName;  // object name of the text (the log's control name)
        QString countName; // object name of the line count label; empty: no count
        // Where "Save Log As..." starts; empty: the log is not saved from the view.
        QString saveFolder;
        // A fixed-pitch face for logs laid out in columns of blanks.
        bool fixedPitch = false;
    };
    LogView(LineLog& log, Prompts& prompts, Setup setup, QWidget* parent = nullptr);

    // The pop-up menu, its items enabled for the log's present state.
    QMenu* popupMenu();
    // An item at the end of the menu, after a separator the first time, enabled only while text is
    // selected; it gets the selected text.
    QAction* addSelectionAction(const QString& text, std::function<void(const QString& selected)> onTrigger);

    // A note shown as the tooltip of one line (why a check failed): the line at where.count - 1
    // of epoch where.epoch. Dropped when the log is emptied.
    void setNote(LineLog::Position where, const QString& note);

    // The lines shown right now.
    int shownLines() const { return static_cast<int>(m_shown); }
    QString shownLine(int index) const;

    QPlainTextEdit* text;
    QLabel* count = nullptr;
    QAction* copyAction;
    QAction* selectAllAction;
    QAction* clearAction;
    QAction* saveAction = nullptr;

public Q_SLOTS:
    // The log grew or was emptied: shows it at once, or after a short pause when it changes
    // faster than a reader can follow, so a busy server does not keep the window busy.
    void logChanged();
    // Draws what the log holds now.
    void refresh();
    void clearClick();
    void saveClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateMenu();

    LineLog& m_log;
    Prompts& m_prompts;
    QString m_saveFolder;
    QMenu* m_menu;
    QList<QAction*> m_selectionActions;
    // What the view shows: the first m_shown lines of the log's epoch m_epoch.
    uint64_t m_epoch = 0;
    size_t m_shown = 0;
    QMap<size_t, QString> m_notes; // by line, in m_epoch
    QTimer* m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
};

} // namespace kestrelon
