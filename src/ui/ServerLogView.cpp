#include "ui/ServerLogView.h"

#include "ui/Prompts.h"
#include "web/MessageLog.h"
#include "web/WebServer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kestrelon {

ServerLogView::ServerLogView(MessageLog& log, WebServer& server, Prompts& prompts, QString saveFolder,
                             QWidget* parent)
    : QWidget(parent), memLog(new QPlainTextEdit(this)), Label79(new QLabel("0", this)), m_log(log),
      m_server(server), m_prompts(prompts), m_saveFolder(std::move(saveFolder)), m_menu(new QMenu(this)),
      m_refreshTimer(new QTimer(this))
{
    m_refreshTimer->setSingleShot(true);
    connect(m_refreshTimer, &QTimer::timeout, this, &ServerLogView::refresh);
    memLog->setObjectName("memLog");
    memLog->setReadOnly(true);
    memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLog->setContextMenuPolicy(Qt::CustomContextMenu);
    Label79->setObjectName("Label79");

    m_menu->setObjectName("memLogMenu");
    memCopy = m_menu->addAction("Copy", this, &ServerLogView::memCopyClick);
    memSelectAll = m_menu->addAction("Select All", this, &ServerLogView::memSelectAllClick);
    m_menu->addSeparator();
    memClear = m_menu->addAction("Clear Log", this, &ServerLogView::memClearClick);
    memSave = m_menu->addAction("Save Log As...", this, &ServerLogView::memSaveClick);
    m_menu->addSeparator();
    memBlock = m_menu->addAction("Add To Blocked List", this, &ServerLogView::memBlockClick);
    memCopy->setObjectName("memCopy");
    memSelectAll->setObjectName("memSelectAll");
    memClear->setObjectName("memClear");
    memSave->setObjectName("memSave");
    memBlock->setObjectName("memBlock");

    connect(memLog, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popupMenu()->popup(memLog->viewport()->mapToGlobal(pos)); });

    auto* count = new QHBoxLayout;
    count->addWidget(new QLabel("Lines:", this));
    count->addWidget(Label79);
    count->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memLog, 1);
    layout->addLayout(count);

    // Lines arrive from the request threads too: draw them on this thread.
    connect(&m_log, &MessageLog::changed, this, &ServerLogView::logChanged, Qt::QueuedConnection);
    refresh();
}

QMenu* ServerLogView::popupMenu()
{
    updateMenu();
    return m_menu;
}

void ServerLogView::updateMenu()
{
    const bool selected = memLog->textCursor().hasSelection();
    const bool hasLines = !memLog->document()->isEmpty();
    memCopy->setEnabled(selected);
    memSelectAll->setEnabled(hasLines);
    memClear->setEnabled(hasLines);
    memSave->setEnabled(hasLines);
    memBlock->setEnabled(selected);
}

void ServerLogView::logChanged()
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

void ServerLogView::refresh()
{
    m_sinceRefresh.start();
    // Only the lines not shown yet are copied out of the log.
    MessageLog::Tail tail = m_log.linesSince(m_epoch, m_shown);
    if (tail.epoch != m_epoch || tail.first != m_shown) {
        // Emptied (by "Clear Log" or at the line limit) and perhaps refilled: draw it anew.
        memLog->clear();
        m_shown = 0;
        m_epoch = tail.epoch;
    }
    if (!tail.lines.empty()) {
        QStringList added;
        added.reserve(static_cast<qsizetype>(tail.lines.size()));
        for (const std::string& line : tail.lines) {
            added << QString::fromStdString(line);
        }
        memLog->appendPlainText(added.join('\n'));
        m_shown += tail.lines.size();
        // The newest lines stay in sight, from their start (the time stamp).
        memLog->verticalScrollBar()->setValue(memLog->verticalScrollBar()->maximum());
        memLog->horizontalScrollBar()->setValue(0);
    }
    Label79->setText(QString::number(m_shown));
}

void ServerLogView::memCopyClick()
{
    memLog->copy();
}

void ServerLogView::memSelectAllClick()
{
    memLog->selectAll();
}

void ServerLogView::memClearClick()
{
    m_log.clear();
    refresh();
}

void ServerLogView::memSaveClick()
{
    const QString file = m_prompts.saveFile(this, m_saveFolder, "Log Files (*.txt)", "txt");
    if (file.isEmpty()) {
        return;
    }
    QSaveFile out(file);
    bool ok = out.open(QIODevice::WriteOnly | QIODevice::Text);
    for (const std::string& line : m_log.lines()) {
        ok = ok && out.write(line.data(), static_cast<qint64>(line.size())) >= 0 && out.write("\n", 1) == 1;
    }
    if (!ok || !out.commit()) {
        m_prompts.message(this, "Unable to write to " + file);
    }
}

void ServerLogView::memBlockClick()
{
    // The selection may be a whole address or any part of an address or host name.
    m_server.btnAddBlockedClick(memLog->textCursor().selectedText().toStdString());
}

} // namespace kestrelon
