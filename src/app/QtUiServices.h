#pragma once
// The platform services of the window program: Qt's message boxes, file
// dialogs, printing dialogs, wait cursor and event processing.
#include <QPointer>

#include "app/PrintDialogs.h"
#include "platform/UiServices.h"

class CMainFrame;

class QtUiServices : public IUiServices, public IPrintDialogs {
public:
    // The window that owns the dialogs and shows the progress.
    void SetMainFrame(CMainFrame* pFrame);

    int MessageBox(const std::string& text, unsigned style) override;
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void PumpMessages() override;
    void RepaintMainWindow() override;
    void ShowProgress(int percent) override;
    void ShowStatus(const std::string& text) override;
    std::optional<uint8_t> AskTransparencyLevel() override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initialDir) override;
    void ShowReport(const std::string& title, const std::string& text) override;

    bool RunPrintDialog(QPrinter& printer, QWidget* parent) override;
    void RunPrintPreview(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paintPages) override;
    bool RunPageSetup(QPrinter& printer, QWidget* parent) override;

private:
    QPointer<CMainFrame> m_pFrame;
};
