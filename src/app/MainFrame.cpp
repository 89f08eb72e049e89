#include "app/MainFrame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include <algorithm>

#include "app/AppIcons.h"
#include "app/CommandTable.h"
#include "app/TavrelView.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"

namespace {

constexpr char kGeometryKey[] = "MainFrame/Geometry";
constexpr char kStateKey[] = "MainFrame/State";

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// The first local file of a drag, or an empty string.
QString DroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

}  // namespace

CMainFrame::CMainFrame(CTavrelDoc* pDoc, CCmdTarget* pApp, IPrintDialogs* pPrintDialogs, QPrinter* pPrinter)
    : m_pDoc(pDoc), m_pApp(pApp)
{
    setObjectName("MainFrame");
    m_pView = new CTavrelView(pDoc, pPrintDialogs, pPrinter, this);
    setCentralWidget(m_pView);
    resize(800, 600);

    MapCommand(ID_VIEW_TOOLBAR, [this] { OnBarCheck(ID_VIEW_TOOLBAR); },
               [this](CCmdUI* ui) { OnUpdateControlBarMenu(ui); });
    MapCommand(ID_VIEW_STATUS_BAR, [this] { OnBarCheck(ID_VIEW_STATUS_BAR); },
               [this](CCmdUI* ui) { OnUpdateControlBarMenu(ui); });
    MapCommand(ID_APP_EXIT, [this] { close(); });

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setAcceptDrops(true);
    m_closeTimer.setInterval(20);
    connect(&m_closeTimer, &QTimer::timeout, this, &CMainFrame::ClosePendingWhenIdle);

    m_pDoc->AddObserver(this);
    OnTitleChanged(m_pDoc->GetTitle());
    // Update handlers run whenever the event loop is about to wait: the
    // program's idle time.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &CMainFrame::OnIdle);
}

CMainFrame::~CMainFrame()
{
    m_pDoc->RemoveObserver(this);
}

void CMainFrame::CreateActions()
{
    for (const CommandDef& def : CommandTable()) {
        auto* action = new QAction(this);
        const unsigned nID = def.nID;
        action->setObjectName(QStringLiteral("Command%1").arg(nID));
        if (def.pszMenuText)
            action->setText(QString::fromLatin1(def.pszMenuText));
        if (def.pszKeys) {
            QList<QKeySequence> keys;
            for (const QString& key : QString::fromLatin1(def.pszKeys).split(';'))
                keys.push_back(QKeySequence(key, QKeySequence::PortableText));
            action->setShortcuts(keys);
        }
        action->setStatusTip(FromStd(StatusPrompt(def)));
        action->setToolTip(FromStd(ToolTipText(def)));
        action->setIcon(CommandIcon(def));
        action->setCheckable(nID == ID_VIEW_TOOLBAR || nID == ID_VIEW_STATUS_BAR);
        connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
        // Commands without a menu item still answer their keys.
        if (def.nPopup < 0)
            addAction(action);
        m_actions[nID] = action;
    }
}

void CMainFrame::CreateMenus()
{
    for (int popup = 0; popup < int(std::size(kMenuPopups)); ++popup) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(kMenuPopups[popup]));
        for (const CommandDef& def : CommandTable()) {
            if (def.nPopup != popup)
                continue;
            if (def.bSeparatorBefore)
                menu->addSeparator();
            menu->addAction(m_actions[def.nID]);
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateToolBar()
{
    m_pToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_pToolBar->setObjectName("ToolBar");
    m_pToolBar->setIconSize(QSize(16, 16));
    std::vector<const CommandDef*> buttons;
    for (const CommandDef& def : CommandTable()) {
        if (def.nToolbarGroup >= 0)
            buttons.push_back(&def);
    }
    std::sort(buttons.begin(), buttons.end(), [](const CommandDef* a, const CommandDef* b) {
        return std::pair(a->nToolbarGroup, a->nToolbarPlace) < std::pair(b->nToolbarGroup, b->nToolbarPlace);
    });
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (i > 0 && buttons[i]->nToolbarGroup != buttons[i - 1]->nToolbarGroup)
            m_pToolBar->addSeparator();
        m_pToolBar->addAction(m_actions[buttons[i]->nID]);
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    m_pMessagePane = new QLabel(QString::fromLatin1(kIdleMessage), bar);
    m_pMessagePane->setObjectName("MessagePane");
    bar->addWidget(m_pMessagePane, 1);

    m_pProgress = new QProgressBar(bar);
    m_pProgress->setObjectName("Progress");
    m_pProgress->setRange(0, 100);
    m_pProgress->setMaximumWidth(160);
    m_pProgress->hide();
    bar->addWidget(m_pProgress);

    const std::pair<unsigned, const char*> panes[] = {
        {ID_INDICATOR_IMAGE_INDEX, kImageIndexNone},
        {ID_INDICATOR_DIMENSIONS, kDimensionsNone},
    };
    for (const auto& [nID, text] : panes) {
        auto* pane = new QLabel(QString::fromLatin1(text), bar);
        pane->setObjectName(QStringLiteral("Pane%1").arg(nID));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The pane is as wide as its first text, trailing spaces included.
        const int margins = 2 * pane->frameWidth() + 2 * pane->margin() + 8;
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(pane->text()) + margins);
        bar->addPermanentWidget(pane);
        m_panes.emplace_back(nID, pane);
    }
}

QAction* CMainFrame::GetAction(unsigned nID) const
{
    const auto it = m_actions.find(nID);
    return it == m_actions.end() ? nullptr : it->second;
}

QLabel* CMainFrame::GetPane(unsigned nID) const
{
    for (const auto& [id, pane] : m_panes) {
        if (id == nID)
            return pane;
    }
    return nullptr;
}

bool CMainFrame::OnCommand(unsigned nID)
{
    // The state may have changed since the item was drawn: ask again first,
    // so a command that is disabled now does not run.
    CCmdUI state(nID);
    RouteCommandUI({m_pView, m_pDoc, this, m_pApp}, &state);
    bool handled = false;
    if (state.m_bEnabled)
        handled = RouteCommand({m_pView, m_pDoc, this, m_pApp}, nID);
    UpdateCommandUI();
    return handled;
}

void CMainFrame::UpdateCommandUI()
{
    for (const auto& [nID, action] : m_actions) {
        CCmdUI state(nID);
        RouteCommandUI({m_pView, m_pDoc, this, m_pApp}, &state);
        action->setEnabled(state.m_bEnabled);
        if (action->isCheckable())
            action->setChecked(state.m_nCheck != 0);
    }
    for (const auto& [nID, pane] : m_panes) {
        CCmdUI state(nID);
        RouteCommandUI({m_pView, m_pDoc, this, m_pApp}, &state);
        pane->setEnabled(state.m_bEnabled);
        if (state.m_bTextChanged)
            pane->setText(FromStd(state.m_strText));
    }
}

void CMainFrame::OnIdle()
{
    UpdateCommandUI();
}

void CMainFrame::ClosePendingWhenIdle()
{
    if (!m_pDoc->IsBusy()) {
        m_closeTimer.stop();
        close();
    }
}

void CMainFrame::ShowProgress(int percent)
{
    if (percent < 0) {
        m_pProgress->hide();
    } else {
        m_pProgress->setValue(std::min(percent, 100));
        m_pProgress->show();
    }
    // The document is busy while its codec reports: hold its commands off.
    UpdateCommandUI();
}

void CMainFrame::SetMessageText(const QString& text)
{
    m_pMessagePane->setText(text.isEmpty() ? QString::fromLatin1(kIdleMessage) : text);
}

void CMainFrame::OnBarCheck(unsigned nID)
{
    QWidget* bar = nID == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(m_pToolBar) : statusBar();
    bar->setVisible(bar->isHidden());
}

void CMainFrame::OnUpdateControlBarMenu(CCmdUI* pCmdUI)
{
    const QWidget* bar = pCmdUI->m_nID == ID_VIEW_TOOLBAR ? static_cast<QWidget*>(m_pToolBar) : statusBar();
    pCmdUI->SetCheck(bar->isHidden() ? 0 : 1);
}

void CMainFrame::OnUpdate(void*, long, void*)
{
    UpdateCommandUI();
}

void CMainFrame::OnTitleChanged(const std::string& title)
{
    setWindowTitle(FromStd(title) + QStringLiteral(" - ") + QString::fromLatin1(kAppName));
}

bool CMainFrame::event(QEvent* event)
{
    // Prompts of the hovered menu item or button go to the message pane,
    // which the two indicator panes share the bar with.
    if (event->type() == QEvent::StatusTip) {
        SetMessageText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Closing now would delete the document under the load that runs below
    // this event; close when it has finished.
    if (m_pDoc->IsBusy()) {
        m_closeTimer.start();
        event->ignore();
        return;
    }
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kStateKey, saveState());
    event->accept();
}

void CMainFrame::RestoreWindowSettings()
{
    QSettings settings;
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    restoreState(settings.value(kStateKey).toByteArray());
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_pDoc->IsBusy() && !DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty() || m_pDoc->IsBusy())
        return;
    event->acceptProposedAction();
    // Load after the drop has been answered, so the program the file came
    // from is not kept waiting for the whole load.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            if (m_pDoc->IsBusy())
                return;
            m_pDoc->LoadFile(QFile::encodeName(path).toStdString());
            UpdateCommandUI();
        },
        Qt::QueuedConnection);
}
