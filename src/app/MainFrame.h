#pragma once
// The main window: menu bar, toolbar and status bar built from the command
// table, the view in the middle, the texture list beside it, and the routing
// of every command to the view, the document, the frame and the application in turn.
#include <QMainWindow>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/PrintDialogs.h"
#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"

class CEditHistory;
class CExternalEdits;
class CFileWatcher;
class CFolderDock;
class CRecentFileList;
class CTavrelDoc;
class CTavrelView;
class CTextureListModel;
class QAction;
class QDockWidget;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QToolBar;

class CMainFrame : public QMainWindow, public CCmdTarget, public IDocObserver {
    Q_OBJECT
public:
    CMainFrame(CTavrelDoc* pDoc, CCmdTarget* pApp, IPrintDialogs* pPrintDialogs, PrinterSource printer);
    ~CMainFrame() override;

    CTavrelView* GetActiveView() const { return m_pView; }
    // Sends a command along the chain, as a menu item, button or key does.
    bool OnCommand(unsigned nID);
    // Asks the update handlers for the state of every menu item, button and
    // status pane. Runs whenever the document, the view or the busy state changes.
    void UpdateCommandUI();
    // Progress of long file work in the status bar, 0 to 100; -1 hides it.
    void ShowProgress(int percent);

    QAction* GetAction(unsigned nID) const;
    QToolBar* GetToolBar() const { return m_pToolBar; }
    QLabel* GetMessagePane() const { return m_pMessagePane; }
    // The status pane with the given indicator id.
    QLabel* GetPane(unsigned nID) const;
    QProgressBar* GetProgressBar() const { return m_pProgress; }
    QDockWidget* GetTextureDock() const { return m_pTextureDock; }
    QListView* GetTextureList() const { return m_pTextureList; }
    QMenu* GetRecentFilesMenu() const { return m_pRecentMenu; }
    CFileWatcher* GetFileWatcher() const { return m_pWatcher; }
    CEditHistory* GetEditHistory() const { return m_pHistory; }
    CExternalEdits* GetExternalEdits() const { return m_pExternal; }
    CFolderDock* GetFolderDock() const { return m_pFolderDock; }

    // Reads the open file again, showing the same texture (the last one when
    // the file now holds fewer). bChangedOutside: another program changed it,
    // which the status bar then says.
    void ReloadFile(bool bChangedOutside);
    // The texture list's context menu for a row: the row's texture is shown,
    // then Save As, Replace and Copy are offered for it.
    void ShowTextureMenu(int row, const QPoint& globalPos);
    // Help > Keyboard Shortcuts: one line per command with keys, from the command table.
    QString ShortcutList() const;
    void OnHelpKeyboard();

    // The list File > Recent Files shows and opens from.
    void SetRecentFileList(CRecentFileList* pList) { m_pRecentFiles = pList; }
    void OpenRecentFile(int index);
    void RestoreWindowSettings();
    // Runs `then` once the window has been painted on the screen.
    void CallWhenPainted(std::function<void()> then);

    // IDocObserver
    void OnUpdate(void* pSender, long lHint, void* pHint) override;
    void OnTitleChanged(const std::string& title) override;
    void OnBusyChanged(bool bBusy) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateTextureDock();
    void FillRecentFilesMenu();
    void SetMessageText(const QString& text);
    // A checkable command's item was checked or cleared.
    void OnToggle(unsigned nID, bool bOn);
    bool IsChecked(unsigned nID) const;
    void UpdateTextureDock();
    void OnFileChanged();
    // Undo or Redo: the file restored, then read back keeping the shown index.
    void OnUndoRedo(bool bUndo);
    // After the window's own write: the watcher takes it as known, the file is read back.
    void TakeOwnWrite();

    CTavrelDoc* m_pDoc;
    CCmdTarget* m_pApp;
    CTavrelView* m_pView;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QDockWidget* m_pTextureDock = nullptr;
    QListView* m_pTextureList = nullptr;
    CTextureListModel* m_pTextureModel = nullptr;
    QMenu* m_pRecentMenu = nullptr;
    CRecentFileList* m_pRecentFiles = nullptr;
    CFileWatcher* m_pWatcher = nullptr;
    CEditHistory* m_pHistory = nullptr;
    CExternalEdits* m_pExternal = nullptr;
    CFolderDock* m_pFolderDock = nullptr;
    std::vector<std::pair<unsigned, QLabel*>> m_panes;
    std::map<unsigned, QAction*> m_actions;
    bool m_bTextureListWanted = true;
    // A close asked for while the document was busy happens when it is done.
    bool m_bClosePending = false;
    std::vector<std::function<void()>> m_afterPaint;
};
