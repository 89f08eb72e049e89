#pragma once
// The application: starts the program with its one document, main frame and
// view, and carries the commands that belong to the program as a whole.
#include <memory>
#include <string>

#include "app/RecentFileList.h"
#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"

class CMainFrame;
class CTavrelDoc;
class CTavrelView;
class IPrintDialogs;
class IUiServices;
class QPrinter;
class QtUiServices;
class CUiServicesScope;

class CTavrelApp : public CCmdTarget, public IDocObserver {
public:
    // Services given here replace the program's own dialogs (the tests script them).
    explicit CTavrelApp(IUiServices* pUi = nullptr, IPrintDialogs* pPrintDialogs = nullptr);
    ~CTavrelApp() override;
    CTavrelApp(const CTavrelApp&) = delete;
    CTavrelApp& operator=(const CTavrelApp&) = delete;

    // Creates the document, the main frame and the view, shows the window and,
    // once it has been painted, opens the file named on the command line, if
    // any. False ends the program.
    bool InitInstance(const std::string& strFileName = {});
    // True until the file named on the command line has been opened.
    bool IsLoadPending() const { return !m_strPendingFile.empty(); }

    void OnAppAbout();
    // The new-document processing: a fresh title and the view's initial update.
    void OnFileNew();
    void OnFilePrintSetup();

    CTavrelDoc* GetDocument() const { return m_pDoc.get(); }
    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    CTavrelView* GetView() const;
    // Made on the first call.
    QPrinter& GetPrinter() const;
    const CRecentFileList& GetRecentFiles() const { return m_recentFiles; }

    // IDocObserver: a file that shows an image joins the recent-file list.
    void OnUpdate(void* pSender, long lHint, void* pHint) override;

    // Sets the organisation and application names under which the settings live.
    static void SetRegistryKey();

private:
    std::unique_ptr<QtUiServices> m_pOwnUi;
    IUiServices* m_pUi;
    IPrintDialogs* m_pPrintDialogs;
    std::unique_ptr<CUiServicesScope> m_pUiScope;
    std::string m_strPendingFile;
    mutable std::unique_ptr<QPrinter> m_pPrinter;
    CRecentFileList m_recentFiles{4};
    // The frame observes the document: it goes first.
    std::unique_ptr<CTavrelDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pMainFrame;
};
