#include "ui/TestUrlTab.h"

#include "app/Application.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/ShownText.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrelon {

TestUrlTab::TestUrlTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_refresh(app.ipRefresh()), m_prompts(prompts)
{
    setObjectName("TabSheet16");
    edIPAddress = named(new QLineEdit(this), "edIPAddress");
    edIPAddress->setPlaceholderText("the address you know to be current");
    btnAuto = named(new QPushButton("Auto", this), "btnAuto");
    btnAuto->setToolTip("Fetch the page and find a keyword and skip count for the address");
    btnGetPage = named(new QPushButton("Get Page", this), "btnGetPage");
    btnFind = named(new QPushButton("Find...", this), "btnFind");
    btnMarkIP = named(new QPushButton("Mark IP", this), "btnMarkIP");
    btnKeyWord = named(new QPushButton("Keyword", this), "btnKeyWord");
    btnTest = named(new QPushButton("Test", this), "btnTest");
    RichEdit1 = named(new QPlainTextEdit(this), "RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed("Courier New", RichEdit1->font().pointSize());
    fixed.setStyleHint(QFont::TypeWriter);
    RichEdit1->setFont(fixed);
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    Panel62 = panelLabel("Panel62", this, 160);
    pnlHidden = named(new QWidget(this), "pnlHidden");
    edKeyword = named(new QLineEdit(pnlHidden), "edKeyword");
    edChartoSkip = named(new QLineEdit(pnlHidden), "edChartoSkip");
    edChartoSkip->setMaximumWidth(70);
    auto* hidden = new QHBoxLayout(pnlHidden);
    hidden->setContentsMargins(0, 0, 0, 0);
    hidden->addWidget(new QLabel("Keyword:", pnlHidden));
    hidden->addWidget(edKeyword, 1);
    hidden->addWidget(new QLabel("Skip:", pnlHidden));
    hidden->addWidget(edChartoSkip);
    pnlHidden->hide();
    Label99 = named(new QLabel(this), "Label99");
    Label99->setFixedSize(14, 14);
    Label99->installEventFilter(this);
    RichEdit1->viewport()->installEventFilter(this);

    PopupMenu1 = new QMenu(this);
    Cut1 = PopupMenu1->addAction("Cut", RichEdit1, &QPlainTextEdit::cut);
    Copy1 = PopupMenu1->addAction("Copy", RichEdit1, &QPlainTextEdit::copy);
    Paste1 = PopupMenu1->addAction("Paste", RichEdit1, &QPlainTextEdit::paste);
    SelectAll1 = PopupMenu1->addAction("Select All", RichEdit1, &QPlainTextEdit::selectAll);
    PopupMenu1->addSeparator();
    MenuItem6 = PopupMenu1->addAction("Mark IP Address", this, &TestUrlTab::MenuItem6Click);
    MarkKey = PopupMenu1->addAction("Mark Keyword(s)", this, &TestUrlTab::MarkKeyClick);
    PopupMenu1->addSeparator();
    Find1 = PopupMenu1->addAction("Find...", this, &TestUrlTab::Find1Click);

    edIPAddress->setMinimumWidth(edIPAddress->fontMetrics().horizontalAdvance("255.255.255.255") + 24);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("IP Address:", this));
    top->addWidget(edIPAddress);
    top->addStretch(1);
    auto* tools = new QVBoxLayout;
    for (QPushButton* button : {btnAuto, btnGetPage, btnFind, btnMarkIP, btnKeyWord, btnTest}) {
        tools->addWidget(button);
    }
    tools->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(RichEdit1, 1);
    middle->addLayout(tools);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel("Retrieved Address:", this));
    bottom->addWidget(Panel62);
    bottom->addSpacing(12);
    bottom->addWidget(pnlHidden, 1);
    bottom->addStretch(0);
    bottom->addWidget(Label99, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(btnAuto, &QPushButton::clicked, this, &TestUrlTab::btnAutoClick);
    connect(btnGetPage, &QPushButton::clicked, this, &TestUrlTab::btnGetPageClick);
    connect(btnFind, &QPushButton::clicked, this, &TestUrlTab::Find1Click);
    connect(btnMarkIP, &QPushButton::clicked, this, &TestUrlTab::MenuItem6Click);
    connect(btnKeyWord, &QPushButton::clicked, this, &TestUrlTab::MarkKeyClick);
    connect(btnTest, &QPushButton::clicked, this, &TestUrlTab::btnTestClick);
    connect(RichEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popupMenu()->popup(RichEdit1->viewport()->mapToGlobal(at)); });
    connect(RichEdit1, &QPlainTextEdit::selectionChanged, this, &TestUrlTab::selectionEdited);
    connect(RichEdit1, &QPlainTextEdit::textChanged, this, &TestUrlTab::textEdited);
    connect(edIPAddress, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_refresh.state().change([&](auto& f) { f.knownAddress = text.toStdString(); });
    });
    connect(edKeyword, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_refresh.state().change([&](auto& f) { f.router.keyword = text.toStdString(); });
    });
    connect(edChartoSkip, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_refresh.state().change([&](auto& f) { f.router.skip = text.toStdString(); });
    });
    connect(&m_refresh.state(), &IpRefreshState::changed, this, &TestUrlTab::stateChanged);
    connect(&m_refresh.workbench(), &PageWorkbench::changed, this, &TestUrlTab::workbenchChanged);
    btnMarkIP->setEnabled(false);
    btnKeyWord->setEnabled(false);
    workbenchChanged();
    stateChanged();
    updateEnables();
}

void TestUrlTab::setDefinitionButtons(QPushButton* addToUserDefined, QPushButton* getIp)
{
    m_addToUserDefined = addToUserDefined;
    m_getIp = getIp;
}

void TestUrlTab::updateEnables()
{
    const PageWorkbench& bench = m_refresh.workbench();
    const PageWorkbench::Enables e = bench.enables();
    btnAuto->setEnabled(e.autoDetect);
    btnGetPage->setEnabled(e.getPage);
    btnFind->setEnabled(e.find);
    btnTest->setEnabled(e.test);
    if (m_addToUserDefined) {
        m_addToUserDefined->setEnabled(e.addToUserDefined);
    }
    if (m_getIp) {
        m_getIp->setEnabled(e.getIp);
    }
    // Before an address is marked, "Mark IP" follows the selection; after it, "Keyword" does.
    if (bench.addressMark() == 0) {
        btnMarkIP->setEnabled(e.markIp);
    } else {
        btnKeyWord->setEnabled(e.keyword);
    }
}

void TestUrlTab::stateChanged()
{
    const auto& f = m_refresh.state().fields();
    showText(edIPAddress, f.knownAddress);
    showText(Panel62, f.retrievedAddress);
    showText(edKeyword, f.router.keyword);
    showText(edChartoSkip, f.router.skip);
    if (f.knownAddress != m_seenKnown || f.router.skip != m_seenSkip) {
        m_seenKnown = f.knownAddress;
        m_seenSkip = f.router.skip;
        updateEnables();
    }
}

void TestUrlTab::workbenchChanged()
{
    const std::string& page = m_refresh.workbench().page();
    if (page != m_shownPage) {
        // Shown character for character, so that positions in the text are positions in the page;
        // only a CR before its LF is left out, and NUL shows as a blank.
        QString text;
        text.reserve(static_cast<qsizetype>(page.size()));
        m_pageAt.clear();
        for (size_t i = 0; i < page.size(); ++i) {
            const char c = page[i];
            if (c == '\r' && i + 1 < page.size() && page[i + 1] == '\n') {
                continue;
            }
            text += (c == '\0' || c == '\r') ? QChar(' ') : QChar(static_cast<unsigned char>(c));
            m_pageAt.push_back(i);
        }
        m_pageAt.push_back(page.size());
        m_shownPage = page;
        if (!m_syncing) {
            QSignalBlocker block(RichEdit1);
            RichEdit1->setPlainText(text);
        }
        updateEnables();
    }
    if (!m_syncing) {
        showSelection();
    }
}

void TestUrlTab::showSelection()
{
    const PageWorkbench& bench = m_refresh.workbench();
    const auto docAt = [this](size_t pagePosition) {
        return static_cast<int>(std::lower_bound(m_pageAt.begin(), m_pageAt.end(), pagePosition) -
                                m_pageAt.begin());
    };
    QTextCursor cursor = RichEdit1->textCursor();
    const int start = docAt(bench.selectionStart());
    const int end = docAt(bench.selectionStart() + bench.selectionLength());
    if (cursor.selectionStart() == start && cursor.selectionEnd() == end) {
        return;
    }
    m_syncing = true;
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    RichEdit1->setTextCursor(cursor);
    m_syncing = false;
}

void TestUrlTab::selectionEdited()
{
    if (m_syncing || m_pageAt.empty()) {
        return;
    }
    const QTextCursor cursor = RichEdit1->textCursor();
    const auto pageAt = [this](int position) {
        return m_pageAt[std::min(static_cast<size_t>(std::max(position, 0)), m_pageAt.size() - 1)];
    };
    const size_t start = pageAt(cursor.selectionStart());
    const size_t end = pageAt(cursor.selectionEnd());
    m_syncing = true;
    m_refresh.workbench().setSelection(start, end - start);
    m_syncing = false;
}

void TestUrlTab::textEdited()
{
    // The page text is edited by hand in the hidden view; the cursor stays where it is.
    m_syncing = true;
    m_refresh.workbench().setPage(RichEdit1->toPlainText().toLatin1().toStdString());
    m_syncing = false;
    selectionEdited();
}

QMenu* TestUrlTab::popupMenu()
{
    const bool selected = RichEdit1->textCursor().hasSelection();
    Cut1->setEnabled(m_hiddenView && selected);
    Copy1->setEnabled(selected);
    Paste1->setEnabled(m_hiddenView);
    SelectAll1->setEnabled(!RichEdit1->document()->isEmpty());
    MenuItem6->setEnabled(btnMarkIP->isEnabled());
    MarkKey->setEnabled(btnKeyWord->isEnabled());
    Find1->setEnabled(btnFind->isEnabled());
    return PopupMenu1;
}

void TestUrlTab::btnAutoClick()
{
    m_refresh.workbench().autoDetect();
}

void TestUrlTab::btnGetPageClick()
{
    // The known address is searched in the new page as by "Find...": found, it is selected and
    // "Mark IP" is enabled.
    m_refresh.workbench().getPage([this] {
        updateEnables();
        if (m_refresh.workbench().selectionLength() > 0) {
            btnMarkIP->setEnabled(true);
        }
    });
}

void TestUrlTab::Find1Click()
{
    const QString text = m_prompts.inputText(this, "Find", "Find what:", m_lastFind);
    if (text.isEmpty()) {
        return;
    }
    m_lastFind = text;
    if (m_refresh.workbench().find(text.toStdString())) {
        RichEdit1->setFocus();
        btnMarkIP->setEnabled(true);
    }
}

void TestUrlTab::MenuItem6Click()
{
    m_refresh.workbench().markIp();
    btnTest->setEnabled(false);
}

void TestUrlTab::MarkKeyClick()
{
    m_refresh.workbench().markKeyword();
}

void TestUrlTab::btnTestClick()
{
    m_refresh.workbench().getIp(LookupSender::TestUrlTest);
}

void TestUrlTab::TabSheet16Show()
{
    updateEnables();
}

void TestUrlTab::Label99MouseDown(Qt::KeyboardModifiers modifiers)
{
    m_hiddenView = (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)) != 0;
    pnlHidden->setVisible(m_hiddenView);
    RichEdit1->setReadOnly(!m_hiddenView);
    Q_EMIT hiddenViewChanged(m_hiddenView);
}

bool TestUrlTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label99 && event->type() == QEvent::MouseButtonPress) {
        Label99MouseDown(static_cast<QMouseEvent*>(event)->modifiers());
        return true;
    }
    if (watched == RichEdit1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // After the edit has taken the release and set its selection.
        QMetaObject::invokeMethod(this, &TestUrlTab::updateEnables, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kestrelon
