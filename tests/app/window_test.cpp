// The main window as a user first meets it: title, status bar, menus, toolbar,
// keys, prompts, the bars' toggles, the About box and the command line; and
// what it keeps in its settings: the recent files, its geometry.
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "AppHarness.h"
#include "app/AboutDlg.h"
#include "app/CommandLine.h"
#include "app/FileFilter.h"
#include "app/RecentFileList.h"

namespace {

// What a menu or the toolbar shows: each item's command and text, "-" for separators.
QStringList Items(const QList<QAction*>& actions, bool toolTips)
{
    QStringList items;
    for (const QAction* action : actions)
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->objectName().mid(7) + ' ' + (toolTips ? action->toolTip() : action->text()));
    return items;
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void init() { ClearSettings(); }

    void startUpState()
    {
        AppHarness app;
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        QCOMPARE(app.Frame()->GetMessagePane()->text(), QStringLiteral("Ready"));
        // The trailing spaces are part of the texts: they size the panes.
        QCOMPARE(app.PaneText(ID_INDICATOR_IMAGE_INDEX), QStringLiteral("Image Index: None           "));
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: None             "));
        QCOMPARE(app.Frame()->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly),
                 (QList<QLabel*>{app.Frame()->GetMessagePane(), app.Frame()->GetPane(ID_INDICATOR_IMAGE_INDEX),
                                 app.Frame()->GetPane(ID_INDICATOR_DIMENSIONS)}));
        QCOMPARE(app.View()->GetTotalSize(), QSize(100, 100));
        QVERIFY(!app.View()->horizontalScrollBar()->isVisible());
        // An empty view is the background only.
        const QImage screen = app.RenderView();
        QImage background(screen.size(), screen.format());
        background.fill(screen.pixel(0, 0));
        QCOMPARE(screen, background);
    }

    void menusAndToolbarHoldTheirItemsInOrder()
    {
        AppHarness app;
        const QList<QAction*> popups = app.Frame()->menuBar()->actions();
        QCOMPARE(popups.size(), 4);
        const QStringList menus[] = {
            {"&File", "57601 &Open...\tCtrl+O", "57604 Save &As...", "-", "57607 &Print...\tCtrl+P",
             "57609 Print Pre&view", "57606 P&rint Setup...", "-", "57665 E&xit"},
            {"&Edit", "32773 Replace", "32775 Make Transparent", "32777 Create Map Bitmap"},
            {"&View", "59392 &Toolbar", "59393 &Status Bar", "32772 Previous Image", "32771 Next Image"},
            {"&Help", "57664 &About Tavrel..."},
        };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(QStringList{popups[i]->text()} + Items(popups[i]->menu()->actions(), false), menus[i]);
        QCOMPARE(Items(app.Frame()->GetToolBar()->actions(), true),
                 (QStringList{"57601 Open", "57604 Save As", "-", "57607 Print", "-", "32772 Previous", "32771 Next",
                              "32773 Replace", "32775 Make Transparent", "-", "57664 About"}));
        for (const QAction* action : app.Frame()->GetToolBar()->actions())
            QVERIFY(action->isSeparator() || !action->icon().isNull());
    }

    void keysReachTheirCommandsOrDoNothing()
    {
        const Tex texture{300, 200, 2, 4};
        AppHarness app(WriteModel(m_dir, "keys.nif", {texture, {4, 4, 1, 2}}));
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        const QImage before = app.RenderView();
        // Keys bound to commands that nothing handles change nothing.
        for (const char* key : {"Ctrl+Z", "Ctrl+X", "Ctrl+C", "Ctrl+V", "Alt+Backspace", "Shift+Del", "Ctrl+Ins",
                                "Shift+Ins", "F6", "Shift+F6", "Ctrl+S"})
            QTest::keySequence(app.Frame(), QKeySequence(key));
        QCOMPARE(app.Title(), QStringLiteral("keys.nif - Tavrel"));
        QCOMPARE(app.Doc()->m_nCurrentImage, 0u);
        QCOMPARE(app.RenderView(), before);
        QVERIFY(app.m_ui.m_messages.empty());

        int printDialogs = 0;
        app.m_ui.m_onPrint = [&](QPrinter&) { return ++printDialogs, false; };
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+P"));
        QCOMPARE(printDialogs, 1);
        // Ctrl+O and File > Open ask for the same file.
        app.m_ui.m_files = {std::nullopt, std::nullopt};
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+O"));
        app.Frame()->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(2));
        for (const FileDialogRequest& request : app.m_ui.m_dialogs) {
            QVERIFY(request.bOpen);
            QCOMPARE(request.strFilter,
                     std::string("Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
                                 "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp||"));
        }
        // Ctrl+N: a fresh title; the image the document still holds stays whole.
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+N"));
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        QCOMPARE(app.View()->GetTotalSize(), QSize(300, 200));
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
    }

    void promptsShowWhileHoveredAndReadyAfter()
    {
        AppHarness app;
        const std::pair<unsigned, QString> prompts[] = {
            {ID_FILE_OPEN, "Open an existing .bmz, .nif, .bmp or .png image file"},
            {ID_EDIT_REPLACE_IMAGE,
             "Replace the active image with a 24-bit bitmap or 24-bit portable network graphics file"},
            {ID_APP_EXIT, "Quit the application"},
            {ID_EDIT_CREATE_MAP_BITMAP, ""},
        };
        const QLabel* pane = app.Frame()->GetMessagePane();
        for (const auto& [id, prompt] : prompts) {
            app.Frame()->GetAction(id)->showStatusText(app.Frame());
            QCOMPARE(pane->text(), prompt.isEmpty() ? QStringLiteral("Ready") : prompt);
            QStatusTipEvent left{QString()};
            QCoreApplication::sendEvent(app.Frame(), &left);
            QCOMPARE(pane->text(), QStringLiteral("Ready"));
        }
    }

    void barsToggleWithTheirCheckMarks()
    {
        AppHarness app;
        app.Idle();
        const std::pair<unsigned, QWidget*> bars[] = {{ID_VIEW_TOOLBAR, app.Frame()->GetToolBar()},
                                                      {ID_VIEW_STATUS_BAR, app.Frame()->statusBar()}};
        for (const auto& [id, bar] : bars) {
            QAction* item = app.Frame()->GetAction(id);
            for (bool shown : {true, false}) {
                QCOMPARE(bar->isVisible(), shown);
                QCOMPARE(item->isChecked(), shown);
                item->trigger();
                app.Idle();
            }
            QVERIFY(bar->isVisible() && item->isChecked());
        }
    }

    void aboutBoxShowsNameVersionIconAndOk()
    {
        AppHarness app;
        bool inspected = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("About Tavrel"));
            auto* version = dialog->findChild<QLabel*>("AboutVersion");
            QCOMPARE(version->text(), QStringLiteral("Tavrel Version 1.0"));
            QCOMPARE(version->textFormat(), Qt::PlainText);
            QVERIFY(!dialog->findChild<QLabel*>("AboutIcon")->pixmap().isNull());
            auto* ok = dialog->findChild<QPushButton*>("AboutOk");
            QCOMPARE(ok->text(), QStringLiteral("OK"));
            QVERIFY(ok->isDefault());
            inspected = true;
            ok->click();
        });
        app.Frame()->OnCommand(ID_APP_ABOUT);
        QVERIFY(inspected);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void commandLineAnswersOnTheConsoleOrNamesAFile()
    {
        const struct {
            QStringList args;
            int exitCode;
            QString out, err;   // the start of standard output; a line of standard error
        } runs[] = {
            {{"--help"}, 0, "Usage: tavrel [options] [file]\n", ""},
            {{"--version"}, 0, "tavrel 1.0\n", ""},
            {{"x.nif", "-v"}, 0, "tavrel 1.0\n", ""},
            {{"x.nif", "-h"}, 0, "Usage: tavrel [options] [file]\n", ""},
            {{"--frobnicate"}, 2, "", "tavrel: unknown option '--frobnicate'\n"},
            {{"a.nif", "b.nif"}, 2, "", "tavrel: only one file can be opened at a time\n"},
        };
        for (const auto& run : runs) {
            QProcess process;
            process.start(QStringLiteral(TAVREL_EXE), run.args);
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), run.exitCode);
            const QString out = QString::fromUtf8(process.readAllStandardOutput());
            const QString err = QString::fromUtf8(process.readAllStandardError());
            QVERIFY2(run.exitCode == 0 ? out.startsWith(run.out) : out.isEmpty(), qPrintable(out));
            QVERIFY2(run.exitCode == 0 ? err.isEmpty() : err.contains(run.err) && err.contains("Try 'tavrel --help'"),
                     qPrintable(err));
        }
        // Arguments that start the window: only the file to open is taken.
        const std::pair<std::vector<std::string>, std::string> files[] = {
            {{"house.nif"}, "house.nif"}, {{"--", "-odd.nif"}, "-odd.nif"}, {{"--", "--help"}, "--help"}};
        for (const auto& [args, file] : files) {
            const CommandLineInfo info = ParseCommandLine(args);
            QCOMPARE(int(info.nAction), int(CommandLineInfo::Run));
            QCOMPARE(info.strFileName, file);
        }
    }

    void recentFilesKeepTheLastFourNewestFirst()
    {
        AppHarness app;
        QVERIFY2(QSettings().fileName().endsWith("/Local AppWizard-Generated Applications/Tavrel.conf"),
                 qPrintable(QSettings().fileName()));
        QStringList paths;
        for (int i = 0; i < 5; ++i) {
            paths << QString::fromStdString(WriteModel(m_dir, "recent" + std::to_string(i) + ".nif", {{4, 4, 1, 1}}));
            app.Open(paths.back().toStdString());
        }
        app.Open(paths[2].toStdString());   // opened again: moves to the top, not listed twice
        // A file that shows no image is not remembered.
        WriteFileBytes(m_dir.File("broken.png"), {0x89, 'P', 'N', 'G', 0});
        app.Open(m_dir.File("broken.png"));
        const QStringList expected = {paths[2], paths[4], paths[3], paths[1]};
        QCOMPARE(app.App().GetRecentFiles().Files(), expected);
        QSettings settings;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(settings.value(QStringLiteral("Recent File List/File%1").arg(i + 1)).toString(), expected[i]);
        QVERIFY(!settings.contains("Recent File List/File5"));
        CRecentFileList reread(4);
        reread.ReadList();
        QCOMPARE(reread.Files(), expected);
    }

    void windowGeometryAndBarsComeBack()
    {
        QRect saved;
        {
            AppHarness app;
            app.Frame()->setGeometry(40, 50, 640, 480);
            app.Frame()->GetToolBar()->hide();
            saved = app.Frame()->geometry();
            QVERIFY(app.Frame()->close());
        }
        TestUi ui;
        CTavrelApp again(&ui, &ui);
        QVERIFY(again.InitInstance());
        QCOMPARE(again.GetMainFrame()->geometry().size(), saved.size());
        QVERIFY(again.GetMainFrame()->GetToolBar()->isHidden());
    }

    void filtersBecomeQtNameFilters()
    {
        const std::pair<std::string, QStringList> filters[] = {
            {"Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
             "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp||",
             {"Varn Raw Image Data (*.nif)", "Varn Compressed Bitmap (*.bmz)", "Portable Network Graphics (*.png)",
              "Windows Bitmap (*.bmp)"}},
            {"Bitmaps (*.bmp;*.dib)|*.bmp;*.dib||", {"Bitmaps (*.bmp *.dib)"}},
            {"Bitmap File|*.bmp||", {"Bitmap File (*.bmp)"}},   // no patterns in the name
            {"A (*.a)|*.a", {"A (*.a)"}},                       // unterminated
            {"", {}},
        };
        for (const auto& [filter, names] : filters)
            QCOMPARE(NameFiltersFromFilter(filter), names);
        QCOMPARE(FirstExtension("Windows Bitmap (*.bmp)"), QStringLiteral("bmp"));
        QCOMPARE(FirstExtension("Truevision Targa (*.tga *.tpic)"), QStringLiteral("tga"));
        QCOMPARE(FirstExtension("All files (*)"), QString());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
