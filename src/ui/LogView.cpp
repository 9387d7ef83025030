#include "ui/LogView.h"

#include "ui/Prompts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>
#include <QVBoxLayout>

namespace kestrelon {

LogView::LogView(LineLog& log, Prompts& prompts, Setup setup, QWidget* parent)
    : QWidget(parent), text(new QPlainTextEdit(this)), m_log(log), m_prompts(prompts),
      m_saveFolder(setup.saveFolder), m_menu(new QMenu(this)), m_refreshTimer(new QTimer(this))
{
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, &LogView::refresh);
    text->setObjectName(setup.textName);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setContextMenuPolicy(Qt::CustomContextMenu);
    text->viewport()->installEventFilter(this);
    if (setup.fixedPitch) {
        QFont font("Courier New");
        font.setStyleHint(QFont::TypeWriter);
        font.setPointSize(text->font().pointSize());
        text->setFont(font);
    }

    m_menu->setObjectName(setup.textName + "Menu");
    copyAction = m_menu->addAction("Copy", text, &QPlainTextEdit::copy);
    selectAllAction = m_menu->addAction("Select All", text, &QPlainTextEdit::selectAll);
    m_menu->addSeparator();
    clearAction = m_menu->addAction("Clear Log", this, &LogView::clearClick);
    if (!m_saveFolder.isEmpty()) {
        saveAction = m_menu->addAction("Save Log As...", this, &LogView::saveClick);
    }
    connect(text, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popupMenu()->popup(text->viewport()->mapToGlobal(pos)); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text, 1);
    if (!setup.countName.isEmpty()) {
        count = new QLabel("0", this);
        count->setObjectName(setup.countName);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel("Lines:", this));
        row->addWidget(count);
        row->addStretch();
        layout->addLayout(row);
    }

    // Lines arrive from other threads too: draw them on this one.
    connect(&m_log, &LineLog::changed, this, &LogView::logChanged, Qt::QueuedConnection);
    refresh();
}

QMenu* LogView::popupMenu()
{
    updateMenu();
    return m_menu;
}

QAction* LogView::addSelectionAction(const QString& label, std::function<void(const QString&)> onTrigger)
{
    if (m_selectionActions.isEmpty()) {
        m_menu->addSeparator();
    }
    QAction* action = m_menu->addAction(label, this, [this, onTrigger = std::move(onTrigger)] {
        onTrigger(text->textCursor().selectedText());
    });
    m_selectionActions << action;
    return action;
}

void LogView::updateMenu()
{
    const bool selected = text->textCursor().hasSelection();
    const bool hasLines = !text->document()->isEmpty();
    copyAction->setEnabled(selected);
    selectAllAction->setEnabled(hasLines);
    clearAction->setEnabled(hasLines);
    if (saveAction) {
        saveAction->setEnabled(hasLines);
    }
    for (QAction* action : m_selectionActions) {
        action->setEnabled(selected);
    }
}

void LogView::logChanged()
{
    constexpr qint64 kPauseMs = 100;
    if (m_refreshTimer->isActive()) {
        return;
    }
    qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : kPauseMs;
    if (since >= kPauseMs) {
        refresh();
    } else {
        m_refreshTimer->start(static_cast<int>(kPauseMs - since));
    }
}

void LogView::refresh()
{
    m_sinceRefresh.start();
    LineLog::Tail tail = m_log.linesSince(m_epoch, m_shown);
    if (tail.epoch != m_epoch || tail.first != m_shown) {
        // Emptied (by "Clear Log" or at a bound) and perhaps refilled: draw it anew.
        text->clear();
        m_shown = 0;
        m_epoch = tail.epoch;
        m_notes.clear();
    }
    if (!tail.lines.empty()) {
        QStringList added;
        added.reserve(static_cast<qsizetype>(tail.lines.size()));
        for (const std::string& line : tail.lines) {
            added << QString::fromStdString(line);
        }
        text->appendPlainText(added.join('\n'));
        m_shown += tail.lines.size();
        // The newest lines stay in sight, from their start (the time stamp).
        text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
        text->horizontalScrollBar()->setValue(0);
    }
    if (count) {
        count->setText(QString::number(m_shown));
    }
}

QString LogView::shownLine(int index) const
{
    return text->document()->findBlockByNumber(index).text();
}

void LogView::setNote(LineLog::Position where, const QString& note)
{
    refresh(); // the line may not be drawn yet
    if (where.epoch == m_epoch && where.count > 0 && !note.isEmpty()) {
        m_notes.insert(where.count - 1, note);
    }
}

bool LogView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto line = static_cast<size_t>(text->cursorForPosition(help->pos()).blockNumber());
        if (auto note = m_notes.find(line); note != m_notes.end() && line < m_shown) {
            QToolTip::showText(help->globalPos(), *note, text->viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void LogView::clearClick()
{
    m_log.clear();
    refresh();
}

void LogView::saveClick()
{
    const QString file = m_prompts.saveFile(this, m_saveFolder, "Log Files (*.txt)", "txt");
    if (file.isEmpty()) {
        return;
    }
    if (!m_log.save(file.toStdString())) {
        m_prompts.message(this, "Unable to write to " + file);
    }
}

} // namespace kestrelon
