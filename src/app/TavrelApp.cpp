#include "app/TavrelApp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>

#include "app/AboutDlg.h"
#include "app/AppIcons.h"
#include "app/CommandTable.h"
#include "app/DialogFolders.h"
#include "app/MainFrame.h"
#include "app/QtUiServices.h"
#include "app/TavrelView.h"
#include "app/ViewerCommandIds.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"
#include "platform/UiServices.h"

// The icons live in a resource of the static library; this reference links it in.
static void InitResources()
{
    Q_INIT_RESOURCE(tavrel);
}

CTavrelApp::CTavrelApp(IUiServices* pUi, IPrintDialogs* pPrintDialogs)
{
    if (!pUi || !pPrintDialogs)
        m_pOwnUi = std::make_unique<QtUiServices>();
    m_pUi = pUi ? pUi : m_pOwnUi.get();
    m_pPrintDialogs = pPrintDialogs ? pPrintDialogs : m_pOwnUi.get();

    MapCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    MapCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    MapCommand(ID_FILE_PRINT_SETUP, [this] { OnFilePrintSetup(); });
}

CTavrelApp::~CTavrelApp()
{
    if (m_pDoc)
        m_pDoc->RemoveObserver(this);
    m_pMainFrame.reset();
    m_pDoc.reset();
}

void CTavrelApp::SetRegistryKey()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganization));
    QCoreApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
}

bool CTavrelApp::InitInstance(const std::string& strFileName)
{
    InitResources();
    SetRegistryKey();
    QApplication::setWindowIcon(ApplicationIcon());
    m_pUiScope = std::make_unique<CUiServicesScope>(m_pUi);
    m_recentFiles.ReadList();

    m_pDoc = std::make_unique<CTavrelDoc>();
    m_pMainFrame = std::make_unique<CMainFrame>(
        m_pDoc.get(), this, m_pPrintDialogs, [this]() -> QPrinter& { return GetPrinter(); });
    if (m_pOwnUi)
        m_pOwnUi->SetMainFrame(m_pMainFrame.get());
    m_pMainFrame->SetRecentFileList(&m_recentFiles);
    m_pDoc->AddObserver(this);
    OnFileNew();

    m_pMainFrame->RestoreWindowSettings();
    m_pMainFrame->show();
    // A file from the command line opens the way Open and a drop do, once the
    // window stands painted, so its progress shows in it.
    m_strPendingFile = strFileName;
    if (!strFileName.empty()) {
        m_pMainFrame->CallWhenPainted([this] {
            if (!m_pDoc->IsBusy())
                m_pDoc->LoadFile(m_strPendingFile);
            m_strPendingFile.clear();
        });
    }
    return true;
}

QPrinter& CTavrelApp::GetPrinter() const
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>();
    return *m_pPrinter;
}

CTavrelView* CTavrelApp::GetView() const
{
    return m_pMainFrame ? m_pMainFrame->GetActiveView() : nullptr;
}

void CTavrelApp::OnAppAbout()
{
    CAboutDlg dialog(m_pMainFrame.get());
    dialog.exec();
}

void CTavrelApp::OnFileNew()
{
    if (!m_pDoc || m_pDoc->IsBusy())
        return;
    if (m_pDoc->OnNewDocument())
        GetView()->OnInitialUpdate();
}

void CTavrelApp::OnFilePrintSetup()
{
    m_pPrintDialogs->RunPageSetup(GetPrinter(), m_pMainFrame.get());
}

void CTavrelApp::OnUpdate(void*, long, void*)
{
    const CDibImage* image = m_pDoc->GetActiveImage();
    if (image && image->GetBitmapInfo()) {
        const QString path = QFile::decodeName(m_pDoc->GetFilePath().c_str());
        m_recentFiles.Add(path);
        // The Open dialog starts where the last file opened lies, however it was opened.
        RememberFolder("Open", QFileInfo(path).absolutePath());
    }
}
