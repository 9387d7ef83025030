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
      m_server(server), m_prompts(prompts), m_saveFolder(std::move(saveFolder)), m_menu(new QMenu(this))
{
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
    logChanged();
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
    // lines() also re-arms the log's change signal.
    const std::vector<std::string> lines = m_log.lines();
    const bool continues = lines.size() >= m_shown && (m_shown == 0 || lines[m_shown - 1] == m_lastShown);
    if (!continues) {
        // Emptied (by "Clear Log" or at the line limit) and perhaps refilled: draw it anew.
        memLog->clear();
        m_shown = 0;
    }
    if (lines.size() > m_shown) {
        QStringList added;
        added.reserve(static_cast<qsizetype>(lines.size() - m_shown));
        for (size_t i = m_shown; i < lines.size(); ++i) {
            added << QString::fromStdString(lines[i]);
        }
        memLog->appendPlainText(added.join('\n'));
        m_shown = lines.size();
        m_lastShown = lines.back();
        // The newest lines stay in sight.
        memLog->verticalScrollBar()->setValue(memLog->verticalScrollBar()->maximum());
    }
    Label79->setText(QString::number(lines.size()));
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
    logChanged();
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
