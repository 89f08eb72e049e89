#pragma once
// The real program started with scripted dialogs, the files it opens built in
// the test, and the ways a test drives and inspects it.
#include <QTest>
#include <QtWidgets>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/MainFrame.h"
#include "app/PrintDialogs.h"
#include "app/TavrelApp.h"
#include "app/TavrelView.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"
#include "platform/UiServices.h"

// The scripted services, failing the Qt test at a question or dialog the script did not expect; the
// printing dialogs, the progress and (when set) the file dialogs go to the test's own functions.
class TestUi : public ScriptedUi, public IPrintDialogs {
public:
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override
    {
        if (!m_onFileDialog)
            return ScriptedUi::FileDialog(request);
        m_dialogs.push_back(request);
        return m_onFileDialog(request);
    }
    void ShowProgress(int percent) override { m_onProgress(percent); }
    bool RunPrintDialog(QPrinter& printer, QWidget*) override { return m_onPrint(printer); }
    bool RunPageSetup(QPrinter& printer, QWidget*) override { return m_onPageSetup(printer); }
    void RunPrintPreview(QPrinter&, QWidget*, const std::function<void(QPrinter*)>&) override
    {
        Fail("unexpected preview");
    }
    void Fail(const std::string& what) override { QTest::qFail(what.c_str(), __FILE__, __LINE__); }

    // When set, answers the file dialogs instead of the script (a test may run the real ones).
    std::function<std::optional<FileDialogResult>(const FileDialogRequest&)> m_onFileDialog;
    std::function<void(int)> m_onProgress = [](int) {};
    std::function<bool(QPrinter&)> m_onPrint = Unexpected, m_onPageSetup = Unexpected;

private:
    static bool Unexpected(QPrinter&) { return QTest::qFail("unexpected printing dialog", __FILE__, __LINE__), false; }
};

class AppHarness {
public:
    // Starts the program with fresh settings (HOME and XDG folders point at the
    // test's own); a file given is opened as from the command line, after
    // `script` has prepared the dialogs.
    explicit AppHarness(const std::string& commandLineFile = {}, const std::function<void(AppHarness&)>& script = {})
        : m_app(&m_ui, &m_ui)
    {
        CTavrelApp::SetRegistryKey();
        QSettings().clear();
        if (script)
            script(*this);
        m_app.InitInstance(commandLineFile);
        Frame()->resize(900, 700);
        QVERIFY(QTest::qWaitFor([this] { return !m_app.IsLoadPending(); }, 10000));
    }

    CMainFrame* Frame() const { return m_app.GetMainFrame(); }
    CTavrelView* View() const { return m_app.GetView(); }
    CTavrelDoc* Doc() const { return m_app.GetDocument(); }
    CTavrelApp& App() { return m_app; }
    // What happens when the program falls idle: the update handlers run.
    void Idle() const { Frame()->UpdateCommandUI(); }
    // Opens through the File menu's command and the scripted file dialog.
    void Open(const std::string& path)
    {
        m_ui.ChooseFile(path);
        Frame()->OnCommand(ID_FILE_OPEN);
        Idle();
    }
    QString Title() const { return Frame()->windowTitle(); }
    QString PaneText(unsigned nID) const { return Frame()->GetPane(nID)->text(); }
    // The index and dimensions panes, trailing spaces dropped.
    QString Panes() const
    {
        return (PaneText(ID_INDICATOR_IMAGE_INDEX) + " | " + PaneText(ID_INDICATOR_DIMENSIONS)).simplified();
    }
    // The view's screen as drawn now.
    QImage RenderView() const { return View()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    TestUi m_ui;

private:
    CTavrelApp m_app;
};

// A texture block of NifBuilder::PatternPixels.
struct Tex {
    uint32_t width, height, format;
    uint8_t seed;
};
// Writes a model file holding the textures; returns its path.
std::string WriteModel(const TempDir& dir, const std::string& name, const std::vector<Tex>& textures);
// The texture as it should look on screen: opaque, top row first.
QImage TextureImage(const Tex& texture);
// A compressed bitmap of the picture: 40 header bytes, then a 24-bit BMP file as a zlib stream.
std::vector<uint8_t> BmzBytes(const QImage& picture);
// Empty when the view shows `expected` at its top-left and one background colour
// (its bottom-right pixel's) elsewhere, else a note that it differs.
QString Shows(const AppHarness& app, const QImage& expected = {});
