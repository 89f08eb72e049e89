#include "TestUi.h"

#include <QPrinter>

int TestUi::MessageBox(const std::string& text, unsigned style)
{
    m_messages.push_back({text, style});
    if ((style & MB_TYPEMASK) == MB_OK)
        return IDOK;
    if (m_answers.empty()) {
        m_unexpected.push_back(QStringLiteral("question: ") + QString::fromStdString(text));
        return IDNO;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<FileDialogResult> TestUi::FileDialog(const FileDialogRequest& request)
{
    m_dialogs.push_back(request);
    if (m_files.empty()) {
        m_unexpected.push_back(QStringLiteral("file dialog: ") + QString::fromStdString(request.strFilter));
        return std::nullopt;
    }
    auto result = m_files.front();
    m_files.pop_front();
    return result;
}

void TestUi::ShowProgress(int percent)
{
    m_progress.push_back(percent);
    if (m_onProgress)
        m_onProgress(percent);
}

bool TestUi::RunPrintDialog(QPrinter& printer, QWidget*)
{
    ++m_nPrintDialogs;
    if (m_printTargets.empty()) {
        m_unexpected.push_back(QStringLiteral("print dialog"));
        return false;
    }
    const QString target = m_printTargets.front();
    m_printTargets.pop_front();
    if (target.isEmpty())
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(target);
    return true;
}

void TestUi::RunPrintPreview(QPrinter& printer, QWidget*, const std::function<void(QPrinter*)>& paintPages)
{
    ++m_nPreviews;
    if (!m_onPreview) {
        m_unexpected.push_back(QStringLiteral("print preview"));
        return;
    }
    m_onPreview(printer, paintPages);
}

bool TestUi::RunPageSetup(QPrinter& printer, QWidget*)
{
    if (!m_onPageSetup) {
        m_unexpected.push_back(QStringLiteral("page setup"));
        return false;
    }
    return m_onPageSetup(printer);
}

std::vector<std::string> TestUi::Texts() const
{
    std::vector<std::string> texts;
    for (const Message& m : m_messages)
        texts.push_back(m.text);
    return texts;
}
