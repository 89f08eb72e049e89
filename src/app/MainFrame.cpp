#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include "app/AppIcons.h"
#include "app/CommandTable.h"
#include "app/EditHistory.h"
#include "app/ExportAll.h"
#include "app/ExternalEdits.h"
#include "app/FileWatcher.h"
#include "app/FolderDock.h"
#include "app/FolderJobsDialog.h"
#include "app/PreferencesDlg.h"
#include "app/RecentFileList.h"
#include "app/TavrelView.h"
#include "app/TextureList.h"
#include "app/ViewerCommandIds.h"
#include "app/WorkerDialog.h"
#include "doc/CommandIds.h"
#include "doc/EditUndo.h"
#include "doc/TavrelDoc.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kGeometryKey[] = "MainFrame/Geometry";
constexpr char kStateKey[] = "MainFrame/State";
constexpr char kStatusBarKey[] = "MainFrame/StatusBar";
constexpr char kTextureListKey[] = "MainFrame/TextureList";
constexpr char kShortcutsTitle[] = "Keyboard Shortcuts";
// The widest text of the pixel pane, which sizes it.
constexpr char kWidestPixelText[] = "00000, 00000: RGBA 000, 000, 000, 000";
constexpr char kWidestZoomText[] = "Zoom: 3200%";
// A start whose window is never painted (minimised, say) still loads its file.
constexpr int kPaintWaitMs = 1000;

// Commands whose item carries a check mark and acts as it is checked or cleared.
constexpr unsigned kToggles[] = {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_SHOW_TRANSPARENCY, ID_VIEW_ALPHA_CHANNEL,
    ID_VIEW_TEXTURE_LIST, ID_VIEW_FIT_TO_WINDOW, ID_VIEW_FIT_ENLARGES};
// The commands of the texture list's context menu, acting on the row clicked.
constexpr unsigned kTextureMenu[] = {ID_FILE_SAVE_AS, ID_EDIT_REPLACE_IMAGE, ID_EDIT_EXTERNALLY, ID_EDIT_COPY};

bool IsToggle(unsigned nID)
{
    return std::find(std::begin(kToggles), std::end(kToggles), nID) != std::end(kToggles);
}

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

// A command's name as its menu item or tooltip gives it, without access key or keys.
QString CommandName(const CommandDef& def)
{
    QString name = def.pszMenuText ? QString::fromLatin1(def.pszMenuText) : FromStd(ToolTipText(def));
    name = name.left(name.indexOf('\t')).remove('&');
    return name.endsWith(QStringLiteral("...")) ? name.chopped(3) : name;
}

// Gives every item of the menu that has no access key the first letter of
// its text that no other item of the menu uses.
void AssignAccessKeys(QMenu* menu)
{
    QString used;
    const QList<QAction*> actions = menu->actions();
    for (const QAction* action : actions) {
        const QString text = action->text();
        const qsizetype amp = text.indexOf('&');
        if (amp >= 0 && amp + 1 < text.size())
            used += text[amp + 1].toLower();
    }
    for (QAction* action : actions) {
        QString text = action->text();
        if (action->isSeparator() || text.isEmpty() || text.contains('&'))
            continue;
        const qsizetype end = text.contains('\t') ? text.indexOf('\t') : text.size();
        for (qsizetype i = 0; i < end; ++i) {
            if (text[i].isLetterOrNumber() && !used.contains(text[i].toLower())) {
                used += text[i].toLower();
                text.insert(i, '&');
                action->setText(text);
                break;
            }
        }
    }
}

}  // namespace

CMainFrame::CMainFrame(CTavrelDoc* pDoc, CCmdTarget* pApp, IPrintDialogs* pPrintDialogs, PrinterSource printer)
    : m_pDoc(pDoc)
    , m_pApp(pApp)
{
    setObjectName("MainFrame");
    m_pView = new CTavrelView(pDoc, pPrintDialogs, std::move(printer), this);
    setCentralWidget(m_pView);
    resize(800, 600);
    m_pToolBar = new QToolBar(QStringLiteral("Toolbar"), this);

    for (unsigned nID : kToggles)
        MapCommand(
            nID, [this, nID] { m_actions[nID]->trigger(); },
            [this](CCmdUI* ui) { ui->SetCheck(IsChecked(ui->m_nID)); });
    MapCommand(ID_APP_EXIT, [this] { close(); });
    const auto steps = [this](CCmdUI* ui) {
        ui->Enable(!m_pDoc->IsBusy() && m_pDoc->GetFileKind() == FileKind::Nif && m_pDoc->ImageCount() >= 2);
    };
    MapCommand(
        ID_VIEW_FIRST_IMAGE, [this] { m_pDoc->SelectImage(0); }, steps);
    MapCommand(
        ID_VIEW_LAST_IMAGE, [this] { m_pDoc->SelectImage(m_pDoc->ImageCount() - 1); }, steps);
    MapCommand(ID_HELP_KEYBOARD, [this] { OnHelpKeyboard(); });
    MapCommand(
        ID_VIEW_RELOAD, [this] { ReloadFile(false); },
        [this](CCmdUI* ui) { ui->Enable(!m_pDoc->IsBusy() && m_pDoc->GetFileKind() != FileKind::None); });
    MapCommand(
        ID_FILE_EXPORT_ALL, [this] { ExportAllImages(this, *m_pDoc); },
        [this](CCmdUI* ui) { ui->Enable(CanExportAllImages(*m_pDoc)); });

    m_pHistory = new CEditHistory(this);
    m_pExternal = new CExternalEdits(m_pDoc, this);
    m_pDoc->SetUndoSink([this](std::unique_ptr<CEditUndoRecord> record, const std::string& name) {
        m_pHistory->Push(std::move(record), FromStd(name));
    });
    // The document's long work runs off the window's thread; what it said there is shown after it.
    m_pDoc->SetWorkRunner(
        [this](const std::string& label, bool cancellable, const std::function<void(IProgress&)>& work) {
            for (const std::string& message : RunOffWindowThread(this, FromStd(label), work, cancellable))
                AfxMessageBox(message, MB_OK);
        });
    m_pExternal->m_onApplied = [this](std::unique_ptr<CEditUndoRecord> record, const std::string& name,
                                   const QString& status) {
        if (record)
            m_pHistory->Push(std::move(record), FromStd(name));
        TakeOwnWrite();
        SetMessageText(status);
    };
    for (const bool undo : {true, false}) {
        const unsigned nID = undo ? ID_EDIT_UNDO : ID_EDIT_REDO;
        MapCommand(
            nID, [this, undo] { OnUndoRedo(undo); },
            [this, undo](CCmdUI* ui) {
                const UndoDirection direction = undo ? UndoDirection::Undo : UndoDirection::Redo;
                ui->Enable(!m_pDoc->IsBusy() && m_pHistory->CanApply(direction));
                const QString name = m_pHistory->NextName(direction);
                const QString verb = undo ? QStringLiteral("&Undo") : QStringLiteral("&Redo");
                const QString keys = undo ? QStringLiteral("\tCtrl+Z") : QStringLiteral("\tCtrl+Shift+Z");
                ui->SetText((name.isEmpty() ? verb : verb + ' ' + name).toStdString() + keys.toStdString());
            });
    }
    MapCommand(
        ID_EDIT_EXTERNALLY, [this] { m_pExternal->Start(); },
        [this](CCmdUI* ui) { ui->Enable(m_pExternal->CanStart()); });
    MapCommand(ID_EDIT_PREFERENCES, [this] {
        CPreferencesDlg dialog(this);
        dialog.exec();
    });

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateTextureDock();
    m_pFolderDock = new CFolderDock(m_pDoc, this, [this](unsigned nID) { return OnCommand(nID); });
    const auto idle = [this](CCmdUI* ui) { ui->Enable(!m_pDoc->IsBusy()); };
    const auto folder = [this] { return QFile::encodeName(m_pFolderDock->Folder()).toStdString(); };
    MapCommand(
        ID_FILE_OPEN_FOLDER, [this] { m_pFolderDock->ChooseAndShowFolder(); }, idle);
    MapCommand(
        ID_FILE_EXPORT_FOLDER, [this, folder] { RunExportFolder(this, folder()); }, idle);
    MapCommand(
        ID_FILE_IMPORT_FOLDER, [this, folder] { RunImportFolder(this, folder()); }, idle);
    setAcceptDrops(true);
    m_pWatcher = new CFileWatcher(this);
    connect(m_pWatcher, &CFileWatcher::Changed, this, &CMainFrame::OnFileChanged);

    connect(m_pView, &CTavrelView::DisplayChanged, this, &CMainFrame::UpdateCommandUI);
    connect(m_pView, &CTavrelView::PixelTextChanged, this,
        [this](const QString& text) { GetPane(ID_INDICATOR_PIXEL)->setText(text); });
    // The arrow keys scroll the image from the start.
    m_pView->setFocus();
    m_bTextureListWanted = QSettings().value(kTextureListKey, true).toBool();

    m_pDoc->AddObserver(this);
    OnTitleChanged(m_pDoc->GetTitle());
}

CMainFrame::~CMainFrame()
{
    m_pDoc->SetUndoSink({});
    m_pDoc->SetWorkRunner({});
    m_pDoc->RemoveObserver(this);
}

void CMainFrame::CreateActions()
{
    for (const CommandDef& def : CommandTable()) {
        const unsigned nID = def.nID;
        // The toolbar's own action shows and hides it and keeps its mark.
        QAction* action = nID == ID_VIEW_TOOLBAR ? m_pToolBar->toggleViewAction() : new QAction(this);
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
        if (IsToggle(nID)) {
            action->setCheckable(true);
            action->setChecked(IsChecked(nID));
            connect(action, &QAction::triggered, this, [this, nID](bool on) { OnToggle(nID, on); });
        } else {
            connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
        }
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
        if (QAction* exit = m_actions[ID_APP_EXIT]; menu->actions().contains(exit)) {
            // File > Recent Files, in its own group before Exit.
            const QList<QAction*> items = menu->actions();
            QAction* before = items[items.indexOf(exit) - 1];  // the separator above Exit
            m_pRecentMenu = new QMenu(QStringLiteral("Recent &Files"), menu);
            m_pRecentMenu->setObjectName("RecentFilesMenu");
            menu->insertSeparator(menu->insertMenu(before, m_pRecentMenu));
            connect(m_pRecentMenu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentFilesMenu);
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentFilesMenu);
        }
        AssignAccessKeys(menu);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
}

void CMainFrame::CreateToolBar()
{
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
        {ID_INDICATOR_PIXEL, kWidestPixelText},
        {ID_INDICATOR_ZOOM, kWidestZoomText},
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
    GetPane(ID_INDICATOR_PIXEL)->clear();
    GetPane(ID_INDICATOR_ZOOM)->clear();
}

void CMainFrame::CreateTextureDock()
{
    m_pTextureModel = new CTextureListModel(m_pDoc, this);
    m_pTextureDock = new QDockWidget(QStringLiteral("Textures"), this);
    m_pTextureDock->setObjectName("TextureDock");
    // View > Textures shows and hides it.
    m_pTextureDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_pTextureList = CreateTextureListView(m_pDoc, m_pTextureModel, m_pTextureDock);
    m_pTextureDock->setWidget(m_pTextureList);
    addDockWidget(Qt::LeftDockWidgetArea, m_pTextureDock);
    m_pTextureDock->hide();
    m_pTextureList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pTextureList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowTextureMenu(m_pTextureList->indexAt(at).row(), m_pTextureList->viewport()->mapToGlobal(at));
    });
}

void CMainFrame::ShowTextureMenu(int row, const QPoint& globalPos)
{
    // The commands act on the shown texture: show the row's first.
    if (row < 0 || !m_pDoc->SelectImage(uint32_t(row)))
        return;
    QMenu menu(this);
    menu.setObjectName("TextureMenu");
    for (unsigned nID : kTextureMenu)
        menu.addAction(m_actions[nID]);
    UpdateCommandUI();
    menu.exec(globalPos);
}

QString CMainFrame::ShortcutList() const
{
    // Every command that some part of the program carries, with its keys.
    QStringList lines;
    for (const CommandDef& def : CommandTable()) {
        if (!def.pszKeys)
            continue;
        CCmdUI state(def.nID);
        bool carried = false;
        for (CCmdTarget* target : {static_cast<CCmdTarget*>(m_pView), static_cast<CCmdTarget*>(m_pDoc),
                 static_cast<CCmdTarget*>(const_cast<CMainFrame*>(this)), m_pApp}) {
            if (target && target->OnCmdUIMsg(&state)) {
                carried = true;
                break;
            }
        }
        const QString name = CommandName(def);
        if (!carried || name.isEmpty())
            continue;
        QStringList keys = QString::fromLatin1(def.pszKeys).split(';');
        for (QString& key : keys)
            key = QKeySequence(key, QKeySequence::PortableText).toString(QKeySequence::NativeText);
        lines << QStringLiteral("%1  %2").arg(keys.join(QStringLiteral(", ")), -24).arg(name);
    }
    return lines.join('\n');
}

void CMainFrame::OnHelpKeyboard()
{
    Ui().ShowReport(kShortcutsTitle, ShortcutList().toStdString());
}

void CMainFrame::UpdateTextureDock()
{
    const bool textures = m_pDoc->GetFileKind() == FileKind::Nif && m_pDoc->ImageCount() > 0;
    m_pTextureDock->setVisible(m_bTextureListWanted && textures);
}

void CMainFrame::FillRecentFilesMenu()
{
    m_pRecentMenu->clear();
    const QStringList files = m_pRecentFiles ? m_pRecentFiles->Files() : QStringList();
    for (int i = 0; i < files.size(); ++i) {
        QAction* item = m_pRecentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
        connect(item, &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
    }
    m_pRecentMenu->setEnabled(!files.isEmpty() && !m_pDoc->IsBusy());
}

void CMainFrame::OpenRecentFile(int index)
{
    if (!m_pRecentFiles || index < 0 || index >= m_pRecentFiles->Files().size() || m_pDoc->IsBusy())
        return;
    const QString path = m_pRecentFiles->Files()[index];
    if (!QFileInfo(path).isFile()) {
        m_pRecentFiles->Remove(path);
        AfxMessageBox(FormatString("%s no longer exists. It has been removed from the Recent Files list.",
                          QFile::encodeName(path).constData()),
            MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_pDoc->LoadFile(QFile::encodeName(path).toStdString());
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
        if (state.m_bTextChanged)
            action->setText(FromStd(state.m_strText));
        if (action->isCheckable()) {
            const QSignalBlocker quiet(action);
            action->setChecked(state.m_nCheck != 0);
        }
    }
    for (const auto& [nID, pane] : m_panes) {
        if (nID == ID_INDICATOR_PIXEL)
            continue;  // the view sets it as the pointer moves
        CCmdUI state(nID);
        RouteCommandUI({m_pView, m_pDoc, this, m_pApp}, &state);
        pane->setEnabled(state.m_bEnabled);
        if (state.m_bTextChanged)
            pane->setText(FromStd(state.m_strText));
    }
}

void CMainFrame::ShowProgress(int percent)
{
    if (percent < 0) {
        m_pProgress->hide();
        return;
    }
    m_pProgress->setValue(std::min(percent, 100));
    if (m_pProgress->isHidden()) {
        m_pProgress->show();
        // Lay the bar out now: a load that runs without the event loop still shows it.
        QCoreApplication::sendPostedEvents(statusBar(), QEvent::LayoutRequest);
    }
    statusBar()->repaint();
}

void CMainFrame::SetMessageText(const QString& text)
{
    m_pMessagePane->setText(text.isEmpty() ? QString::fromLatin1(kIdleMessage) : text);
}

bool CMainFrame::IsChecked(unsigned nID) const
{
    switch (nID) {
    case ID_VIEW_TOOLBAR: return !m_pToolBar->isHidden();
    case ID_VIEW_STATUS_BAR: return !statusBar()->isHidden();
    case ID_VIEW_SHOW_TRANSPARENCY: return m_pView->IsShowingTransparency();
    case ID_VIEW_ALPHA_CHANNEL: return m_pView->IsShowingAlphaChannel();
    case ID_VIEW_TEXTURE_LIST: return m_bTextureListWanted;
    case ID_VIEW_FIT_TO_WINDOW: return m_pView->IsFittingToWindow();
    case ID_VIEW_FIT_ENLARGES: return m_pView->IsEnlargingToFit();
    default: return false;
    }
}

void CMainFrame::OnToggle(unsigned nID, bool bOn)
{
    switch (nID) {
    case ID_VIEW_STATUS_BAR: statusBar()->setVisible(bOn); break;
    case ID_VIEW_SHOW_TRANSPARENCY: m_pView->SetShowTransparency(bOn); break;
    case ID_VIEW_ALPHA_CHANNEL: m_pView->SetShowAlphaChannel(bOn); break;
    case ID_VIEW_TEXTURE_LIST:
        m_bTextureListWanted = bOn;
        QSettings().setValue(kTextureListKey, bOn);
        UpdateTextureDock();
        break;
    case ID_VIEW_FIT_TO_WINDOW: m_pView->SetFitToWindow(bOn); break;
    case ID_VIEW_FIT_ENLARGES: m_pView->SetEnlargeToFit(bOn); break;
    default: break;  // the toolbar's own action has shown or hidden it
    }
    UpdateCommandUI();
}

void CMainFrame::OnUpdate(void*, long, void*)
{
    m_pTextureModel->Refresh();
    if (!m_pDoc->IsBusy())
        SelectShownTexture(m_pTextureList, *m_pDoc);
    UpdateTextureDock();
    UpdateCommandUI();
}

void CMainFrame::OnBusyChanged(bool bBusy)
{
    // What the document has just read or written is the version the window
    // knows; only later changes are another program's.
    if (!bBusy) {
        const QString path =
            m_pDoc->GetFileKind() == FileKind::None ? QString() : QFile::decodeName(m_pDoc->GetFilePath().c_str());
        if (path != m_pWatcher->GetPath()) {
            // Another file: its edits are not this one's to undo, nor its images out for editing.
            m_pWatcher->Watch(path);
            m_pHistory->Clear();
            m_pExternal->StopAll();
        } else
            m_pWatcher->AcceptCurrent();
        // A write that completed but whose name may not survive a power loss
        // is said once the work is over, after the command's own messages.
        const std::vector<std::string> warnings = TakeWriteWarnings();
        if (!warnings.empty()) {
            QMetaObject::invokeMethod(
                this,
                [warnings] {
                    for (const std::string& warning : warnings)
                        AfxMessageBox(warning, MB_OK | MB_ICONEXCLAMATION);
                },
                Qt::QueuedConnection);
        }
    }
    // While the document works the list lets go of its records; afterwards it
    // reads them again, as new ones may sit where old ones were.
    m_pTextureModel->Refresh(!bBusy);
    if (!bBusy)
        SelectShownTexture(m_pTextureList, *m_pDoc);
    UpdateCommandUI();
    if (!bBusy && m_bClosePending) {
        m_bClosePending = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void CMainFrame::OnFileChanged()
{
    // A dialog may hold records of the document: look again when it has closed.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(CFileWatcher::kSettleMs, m_pWatcher, &CFileWatcher::Check);
        return;
    }
    // A change during the document's own work is taken in when it ends.
    if (!m_pDoc->IsBusy())
        ReloadFile(true);
}

void CMainFrame::ReloadFile(bool bChangedOutside)
{
    if (m_pDoc->IsBusy() || m_pDoc->GetFileKind() == FileKind::None)
        return;
    const std::string path = m_pDoc->GetFilePath();
    const uint32_t shown = m_pDoc->GetCurrentIndex();
    // Another program's version: the recorded edits no longer fit it.
    if (bChangedOutside)
        m_pHistory->Clear();
    const LoadResult result = m_pDoc->LoadFile(path);
    if (m_pDoc->GetFileKind() == FileKind::Nif && m_pDoc->ImageCount() > 0)
        m_pDoc->SelectImage(std::min(shown, m_pDoc->ImageCount() - 1));
    if (bChangedOutside && result == LoadResult::kLoaded)
        SetMessageText(QStringLiteral("%1 was changed by another program and has been reloaded")
                           .arg(QFileInfo(QFile::decodeName(path.c_str())).fileName()));
}

void CMainFrame::TakeOwnWrite()
{
    m_pWatcher->AcceptCurrent();
    ReloadFile(false);
}

void CMainFrame::OnUndoRedo(bool bUndo)
{
    if (m_pDoc->IsBusy())
        return;
    const UndoDirection direction = bUndo ? UndoDirection::Undo : UndoDirection::Redo;
    const QString name = m_pHistory->NextName(direction);
    try {
        m_pHistory->Apply(direction);
    } catch (const CCoreError& e) {
        e.ReportError();
        return;
    }
    TakeOwnWrite();
    SetMessageText((bUndo ? QStringLiteral("Undone: ") : QStringLiteral("Redone: ")) + name);
}

void CMainFrame::OnTitleChanged(const std::string& title)
{
    setWindowTitle(FromStd(title) + QStringLiteral(" - ") + QString::fromLatin1(kAppName));
}

bool CMainFrame::event(QEvent* event)
{
    // Prompts of the hovered menu item or button go to the message pane,
    // which the indicator panes share the bar with.
    if (event->type() == QEvent::StatusTip) {
        SetMessageText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::CallWhenPainted(std::function<void()> then)
{
    m_afterPaint.push_back(std::move(then));
    if (m_afterPaint.size() > 1)
        return;
    m_pView->viewport()->installEventFilter(this);
    QTimer::singleShot(kPaintWaitMs, this, [this] {
        QEvent paint(QEvent::Paint);
        eventFilter(m_pView->viewport(), &paint);
    });
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView->viewport() && event->type() == QEvent::Paint && !m_afterPaint.empty()) {
        m_pView->viewport()->removeEventFilter(this);
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, [this, calls = std::move(m_afterPaint)] {
            for (const auto& call : calls)
                call();
        });
        m_afterPaint.clear();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Closing now would delete the document under the load that runs below
    // this event; close when it has finished.
    if (m_pDoc->IsBusy()) {
        m_bClosePending = true;
        event->ignore();
        return;
    }
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kStateKey, saveState());
    settings.setValue(kStatusBarKey, !statusBar()->isHidden());
    event->accept();
}

void CMainFrame::RestoreWindowSettings()
{
    QSettings settings;
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    restoreState(settings.value(kStateKey).toByteArray());
    statusBar()->setVisible(settings.value(kStatusBarKey, true).toBool());
    UpdateTextureDock();
    UpdateCommandUI();
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
            if (!m_pDoc->IsBusy())
                m_pDoc->LoadFile(QFile::encodeName(path).toStdString());
        },
        Qt::QueuedConnection);
}
