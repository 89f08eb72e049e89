#pragma once
// The "Files" dock: the model files and compressed bitmaps below a folder, in
// its tree, each with its texture count and first texture's size and depth,
// found in the background. A filter box narrows the rows by name, by a size
// such as 256x256 or by a depth such as 32, against any texture of a file.
// Choosing a row opens the file; its context menu runs Export All or Import
// Textures on it.
#include <QDockWidget>
#include <QFutureWatcher>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CTavrelDoc;
class QLabel;
class QLineEdit;
class QMainWindow;
class QModelIndex;
class QStandardItemModel;
class QTreeView;
class CFolderFilterModel;

// One file found below the folder, with the shapes of its textures as their headers give them.
struct FolderDockFile {
    std::string strPath;
    std::string strSubfolder;  // relative to the folder; empty at its top
    struct Shape {
        uint32_t width = 0;
        uint32_t height = 0;
        unsigned bits = 0;
    };
    std::vector<Shape> shapes;  // in file order
    std::string strError;  // why its headers could not be read; empty when they could
};

struct FolderDockScan {
    std::vector<FolderDockFile> files;
    std::vector<std::string> errors;  // paths that could not be searched
};

class CFolderDock : public QDockWidget {
    Q_OBJECT
public:
    // runCommand sends a command along the window's chain, as its menu item does.
    CFolderDock(CTavrelDoc* pDoc, QMainWindow* pFrame, std::function<bool(unsigned)> runCommand);
    ~CFolderDock() override;

    // File > Open Folder: asks for the folder, then shows it.
    void ChooseAndShowFolder();
    // Shows the dock and starts the search below the folder (replacing any under way).
    void ShowFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    // The folder last shown, remembered between runs.
    static QString RememberedFolder();
    bool IsSearching() const;

    QTreeView* Tree() const { return m_pTree; }
    QLineEdit* FilterBox() const { return m_pFilter; }
    QLabel* StatusLabel() const { return m_pStatus; }
    // The file of a row of the tree's model; empty for a folder's row.
    std::string FileOf(const QModelIndex& index) const;
    // Opens the row's file in the window (as File > Open does); false when it is not opened.
    bool OpenRow(const QModelIndex& index);
    // Opens the row's file, then runs the command on it.
    void RunOnRow(const QModelIndex& index, unsigned nID);

private:
    void OnScanDone();
    void Fill(const FolderDockScan& scan);
    void ShowRowMenu(const QPoint& at);

    CTavrelDoc* m_pDoc;
    std::function<bool(unsigned)> m_runCommand;
    QTreeView* m_pTree = nullptr;
    QLineEdit* m_pFilter = nullptr;
    QLabel* m_pStatus = nullptr;
    QStandardItemModel* m_pModel = nullptr;
    CFolderFilterModel* m_pFilterModel = nullptr;
    QString m_folder;
    std::vector<FolderDockFile> m_files;  // the rows' files; a row keeps its file's place
    QFutureWatcher<FolderDockScan> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_pStop;  // of the search under way
};

// The search behind the dock: the files below the folder and their texture
// shapes, from headers only. found(n) is called from the searching thread as
// files are read; stop ends it early.
FolderDockScan ScanFolderForDock(
    const std::string& folder, const std::function<void(size_t, size_t)>& read, const std::atomic<bool>& stop);
