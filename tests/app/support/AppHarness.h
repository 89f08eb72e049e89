#pragma once
// The real program, started with scripted dialogs, and the ways a test
// drives and inspects it.
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <string>

#include "TestUi.h"
#include "app/MainFrame.h"
#include "app/TavrelApp.h"
#include "app/TavrelView.h"
#include "doc/TavrelDoc.h"

class AppHarness {
public:
    // Starts the program; a file given is opened as from the command line.
    explicit AppHarness(const std::string& commandLineFile = {});
    ~AppHarness();

    CMainFrame* Frame() const { return m_app.GetMainFrame(); }
    CTavrelView* View() const { return m_app.GetView(); }
    CTavrelDoc* Doc() const { return m_app.GetDocument(); }
    CTavrelApp& App() { return m_app; }

    // What happens when the program falls idle: the update handlers run.
    void Idle() const { Frame()->UpdateCommandUI(); }
    // Open through the File menu's command and the scripted file dialog.
    void Open(const QString& path);
    QString Title() const;
    QString PaneText(unsigned nID) const;
    QString MessageText() const;
    // The view's screen as drawn now.
    QImage RenderView() const;

    TestUi m_ui;

private:
    CTavrelApp m_app;
};

// A fresh, empty settings store for the program (HOME and the XDG folders of
// the tests point at temporary folders).
void ClearSettings();
// The pixels of `actual` at its top-left that `expected` covers; an empty
// string when they match, else where and how the first difference lies.
QString CompareTopLeft(const QImage& actual, const QImage& expected);
