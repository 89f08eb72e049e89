#pragma once
// The main window: menu bar, toolbar and status bar built from the command
// table, the view in the middle, and the routing of every command to the
// view, the document, the frame and the application in turn.
#include <QMainWindow>
#include <QTimer>

#include <map>
#include <string>
#include <vector>

#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"

class CTavrelDoc;
class CTavrelView;
class IPrintDialogs;
class QAction;
class QLabel;
class QPrinter;
class QProgressBar;
class QToolBar;

class CMainFrame : public QMainWindow, public CCmdTarget, public IDocObserver {
    Q_OBJECT
public:
    CMainFrame(CTavrelDoc* pDoc, CCmdTarget* pApp, IPrintDialogs* pPrintDialogs, QPrinter* pPrinter);
    ~CMainFrame() override;

    CTavrelView* GetActiveView() const { return m_pView; }
    // Sends a command along the chain, as a menu item, button or key does.
    bool OnCommand(unsigned nID);
    // Asks the update handlers for the state of every menu item, button and
    // status pane. Runs whenever the program falls idle and when a menu opens.
    void UpdateCommandUI();
    // Progress of long file work in the status bar, 0 to 100; -1 hides it.
    void ShowProgress(int percent);

    QAction* GetAction(unsigned nID) const;
    QToolBar* GetToolBar() const { return m_pToolBar; }
    QLabel* GetMessagePane() const { return m_pMessagePane; }
    // The status pane with the given indicator id.
    QLabel* GetPane(unsigned nID) const;
    QProgressBar* GetProgressBar() const { return m_pProgress; }

    void RestoreWindowSettings();

    // IDocObserver
    void OnUpdate(void* pSender, long lHint, void* pHint) override;
    void OnTitleChanged(const std::string& title) override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void SetMessageText(const QString& text);
    void OnBarCheck(unsigned nID);
    void OnUpdateControlBarMenu(CCmdUI* pCmdUI);
    void OnIdle();
    void ClosePendingWhenIdle();

    CTavrelDoc* m_pDoc;
    CCmdTarget* m_pApp;
    CTavrelView* m_pView;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    QProgressBar* m_pProgress = nullptr;
    std::vector<std::pair<unsigned, QLabel*>> m_panes;
    std::map<unsigned, QAction*> m_actions;
    // A close asked for while the document was busy waits until it is done.
    QTimer m_closeTimer;
};
