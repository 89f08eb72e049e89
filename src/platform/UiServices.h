#pragma once
// The user-interface services that the core calls: message boxes, file
// dialogs, the wait cursor, the message pump and progress. The window program,
// the command-line tool and the tests each provide their own implementation.
#include <cstdint>
#include <optional>
#include <string>

// Message box styles and answers.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_OKCANCEL = 0x0001;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_ICONERROR = 0x0010;
inline constexpr unsigned MB_ICONQUESTION = 0x0020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
inline constexpr unsigned MB_ICONINFORMATION = 0x0040;
inline constexpr unsigned MB_TYPEMASK = 0x000F;
inline constexpr unsigned MB_ICONMASK = 0x00F0;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// File dialog flags that the core asks for.
inline constexpr unsigned OFN_OVERWRITEPROMPT = 0x0002;
inline constexpr unsigned OFN_HIDEREADONLY = 0x0004;
inline constexpr unsigned OFN_PATHMUSTEXIST = 0x0800;
inline constexpr unsigned OFN_FILEMUSTEXIST = 0x1000;

struct FileDialogRequest {
    bool bOpen = true;  // an Open dialog, else a Save dialog
    std::string strTitle;  // empty: the toolkit's default title
    std::string strFilter;  // "Desc (*.ext)|*.ext|...||"
    std::string strDefExt;  // without the dot; empty for none
    std::string strInitialDir;
    std::string strInitialName;
    unsigned nFlags = 0;
    int nFilterIndex = 1;  // 1-based
    // Save dialogs: the export dialog, whose name box takes the extension of
    // each type the user picks.
    bool bRetypeExtension = false;
    // When set, the window remembers under this name the folder a file was
    // last chosen in, also between runs, and opens the dialog there.
    std::string strRememberAs = {};
};

struct FileDialogResult {
    std::string strPath;  // the chosen full path
    int nFilterIndex = 1;  // 1-based index of the chosen type
};

class IUiServices {
public:
    virtual ~IUiServices() = default;

    // Shows a message box; returns IDOK, IDYES or IDNO. The other services do
    // nothing (a dialog is cancelled) unless a user interface has them.
    virtual int MessageBox(const std::string& text, unsigned style) = 0;
    // Shows a file dialog; nothing when the user cancelled.
    virtual std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request)
    {
        (void)request;
        return std::nullopt;
    }
    virtual void BeginWaitCursor() { }
    virtual void EndWaitCursor() { }
    // Lets the user interface handle its pending events during long work.
    virtual void PumpMessages() { }
    // Repaints the main window at once, before a long operation starts.
    virtual void RepaintMainWindow() { }
    // A short note in the status bar, such as where a backup went.
    virtual void ShowStatus(const std::string& text) { (void)text; }
    // Progress of long file work, 0 to 100; -1 when it has ended.
    virtual void ShowProgress(int percent) { (void)percent; }
    // Asks how transparent the shown texture is to be made: the alpha value
    // chosen (255 opaque, 0 fully transparent), or nothing when cancelled.
    virtual std::optional<uint8_t> AskTransparencyLevel() { return std::nullopt; }
    // Chooses a folder, starting in initialDir; nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initialDir)
    {
        (void)title;
        (void)initialDir;
        return std::nullopt;
    }
    // Shows a long text, such as a report of many lines, under a title.
    virtual void ShowReport(const std::string& title, const std::string& text)
    {
        (void)title;
        MessageBox(text, MB_OK | MB_ICONINFORMATION);
    }
};

// The services in force. Until one is installed, a silent implementation
// answers No to every question and cancels every dialog.
IUiServices& Ui();
// Installs the services; returns the previous ones. nullptr restores the silent ones.
IUiServices* SetUiServices(IUiServices* services);

// Installs services for the calling thread alone, ahead of the process's
// (nullptr removes them); returns the previous ones. Lets work on other
// threads collect its messages and show them in order.
IUiServices* SetThreadUiServices(IUiServices* services);

int AfxMessageBox(const std::string& text, unsigned style = MB_OK);

// Shows the wait cursor for its lifetime, so it ends on every path.
class CWaitCursor {
public:
    CWaitCursor() { Ui().BeginWaitCursor(); }
    ~CWaitCursor() { Ui().EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Installs services for its lifetime and puts the previous ones back.
class CUiServicesScope {
public:
    explicit CUiServicesScope(IUiServices* services)
        : m_pPrevious(SetUiServices(services))
    {
    }
    ~CUiServicesScope() { SetUiServices(m_pPrevious); }
    CUiServicesScope(const CUiServicesScope&) = delete;
    CUiServicesScope& operator=(const CUiServicesScope&) = delete;

private:
    IUiServices* m_pPrevious;
};
