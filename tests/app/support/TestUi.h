#pragma once
// Platform services for the window tests: records every message and dialog,
// answers questions, file dialogs and printing dialogs from a script, and
// notes anything the script did not expect instead of opening a real dialog.
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/PrintDialogs.h"
#include "platform/UiServices.h"

class TestUi : public IUiServices, public IPrintDialogs {
public:
    struct Message {
        std::string text;
        unsigned style;
    };

    // Script.
    void AnswerNext(int answer) { m_answers.push_back(answer); }
    void ChooseFile(const std::string& path) { m_files.push_back(FileDialogResult{path, 1}); }
    void CancelNextDialog() { m_files.push_back(std::nullopt); }
    // The next print dialog is confirmed with output to this PDF file, or cancelled.
    void PrintToPdf(const QString& path) { m_printTargets.push_back(path); }
    void CancelNextPrint() { m_printTargets.push_back(QString()); }

    int MessageBox(const std::string& text, unsigned style) override;
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
    void BeginWaitCursor() override { ++m_nWaitDepth; }
    void EndWaitCursor() override { --m_nWaitDepth; }
    void PumpMessages() override { ++m_nPumps; }
    void RepaintMainWindow() override { ++m_nRepaints; }
    void ShowProgress(int percent) override;

    bool RunPrintDialog(QPrinter& printer, QWidget* parent) override;
    void RunPrintPreview(QPrinter& printer, QWidget* parent,
                         const std::function<void(QPrinter*)>& paintPages) override;
    bool RunPageSetup(QPrinter& printer, QWidget* parent) override;

    std::vector<std::string> Texts() const;

    std::vector<Message> m_messages;
    std::vector<FileDialogRequest> m_dialogs;
    std::vector<int> m_progress;
    // What reached a dialog that the script did not answer.
    QStringList m_unexpected;
    int m_nWaitDepth = 0;
    int m_nPumps = 0;
    int m_nRepaints = 0;
    int m_nPrintDialogs = 0;
    int m_nPreviews = 0;
    // Called at each progress report (the window's services show it in the status bar).
    std::function<void(int)> m_onProgress;
    // Called by the page setup dialog with the program's printer; false cancels.
    std::function<bool(QPrinter&)> m_onPageSetup;
    // Called by the preview with the program's printer and its page painter.
    std::function<void(QPrinter&, const std::function<void(QPrinter*)>&)> m_onPreview;

private:
    std::deque<int> m_answers;
    std::deque<std::optional<FileDialogResult>> m_files;
    std::deque<QString> m_printTargets;
};
