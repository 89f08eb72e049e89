#pragma once
// The printing dialogs, behind an interface so that tests can answer them.
#include <functional>

class QPrinter;
class QWidget;

// The program's one printer, made when printing is first asked for: setting
// up the printing system is slow and no part of showing a file.
using PrinterSource = std::function<QPrinter&()>;

class IPrintDialogs {
public:
    virtual ~IPrintDialogs() = default;
    // The print dialog; true when the user asks to print.
    virtual bool RunPrintDialog(QPrinter& printer, QWidget* parent) = 0;
    // The print preview; paintPages draws the document on the printer it is given.
    virtual void RunPrintPreview(
        QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paintPages) = 0;
    // The page setup dialog; true when the user confirmed it.
    virtual bool RunPageSetup(QPrinter& printer, QWidget* parent) = 0;
};
