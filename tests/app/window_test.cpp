// The main window as a user first meets it: title, status bar, menus, toolbar,
// keys, the bars' toggles, the About box and the command line; the recent files
// it keeps in its settings; which commands are offered in each state of the
// document; the progress and hold-off while a compressed bitmap loads; dropping a file.
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "AppHarness.h"
#include "app/AboutDlg.h"
#include "app/FileFilter.h"
#include "app/RecentFileList.h"

// What a menu or the toolbar shows: each item's command and text, "-" for separators.
static QStringList Items(const QList<QAction*>& actions, bool toolTips)
{
    QStringList items;
    for (const QAction* a : actions)
        items << (a->isSeparator() ? "-" : a->objectName().mid(7) + ' ' + (toolTips ? a->toolTip() : a->text()));
    return items;
}

using IdList = QList<unsigned>;

class WindowTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void init() { ClearSettings(); }

    void startUpStateMenusToolbarAndBars()
    {
        AppHarness app;
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        // The trailing spaces are part of the texts: they size the panes.
        QStringList panes;
        for (const QLabel* pane : app.Frame()->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            panes << pane->text();
        QCOMPARE(panes, (QStringList{"Ready", "Image Index: None           ", "Dimensions: None             "}));
        QCOMPARE(app.View()->GetTotalSize(), QSize(100, 100));
        QVERIFY(!app.View()->horizontalScrollBar()->isVisible());
        // An empty view is the background only.
        const QImage screen = app.RenderView();
        QImage background(screen.size(), screen.format());
        background.fill(screen.pixel(0, 0));
        QCOMPARE(screen, background);
        // The menus and the toolbar hold their items in order; each button has an icon.
        QStringList menus;
        for (const QAction* popup : app.Frame()->menuBar()->actions())
            menus << popup->text() + ": " + Items(popup->menu()->actions(), false).join(", ");
        QCOMPARE(menus, (QStringList{"&File: 57601 &Open...\tCtrl+O, 57604 Save &As..., -, 57607 &Print...\tCtrl+P, "
                                     "57609 Print Pre&view, 57606 P&rint Setup..., -, 57665 E&xit",
                                     "&Edit: 32773 Replace, 32775 Make Transparent, 32777 Create Map Bitmap",
                                     "&View: 59392 &Toolbar, 59393 &Status Bar, 32772 Previous Image, 32771 Next Image",
                                     "&Help: 57664 &About Tavrel..."}));
        QCOMPARE(Items(app.Frame()->GetToolBar()->actions(), true),
                 (QStringList{"57601 Open", "57604 Save As", "-", "57607 Print", "-", "32772 Previous", "32771 Next",
                              "32773 Replace", "32775 Make Transparent", "-", "57664 About"}));
        for (const QAction* action : app.Frame()->GetToolBar()->actions())
            QVERIFY(action->isSeparator() || !action->icon().isNull());
        // The bars toggle, with their check marks.
        app.Idle();
        for (auto [id, bar] : {std::pair<unsigned, QWidget*>{ID_VIEW_TOOLBAR, app.Frame()->GetToolBar()},
                               {ID_VIEW_STATUS_BAR, app.Frame()->statusBar()}})
            for (bool shown : {true, false, true}) {
                QCOMPARE(bar->isVisible(), shown);
                QCOMPARE(app.Frame()->GetAction(id)->isChecked(), shown);
                app.Frame()->GetAction(id)->trigger();
                app.Idle();
            }
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
        QCOMPARE(app.RenderView(), before);
        QVERIFY(app.m_ui.m_messages.empty());
        // Ctrl+O and File > Open ask for the same file.
        app.m_ui.m_files = {std::nullopt, std::nullopt};
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+O"));
        app.Frame()->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(2));
        QVERIFY(app.m_ui.m_dialogs[0].bOpen && app.m_ui.m_dialogs[1].bOpen);
        QCOMPARE(app.m_ui.m_dialogs[0].strFilter, app.m_ui.m_dialogs[1].strFilter);
        // The file dialog offers the four kinds as Qt name filters.
        QCOMPARE(NameFiltersFromFilter(app.m_ui.m_dialogs[0].strFilter),
                 (QStringList{"Varn Raw Image Data (*.nif)", "Varn Compressed Bitmap (*.bmz)",
                              "Portable Network Graphics (*.png)", "Windows Bitmap (*.bmp)"}));
        // Ctrl+N: a fresh title; the image the document still holds stays whole.
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+N"));
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        QCOMPARE(app.View()->GetTotalSize(), QSize(300, 200));
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
    }

    void aboutBoxShowsNameVersionIconAndOk()
    {
        AppHarness app;
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* version = dialog->findChild<QLabel*>("AboutVersion");
            auto* ok = dialog->findChild<QPushButton*>("AboutOk");
            seen = dialog->windowTitle() + '|' + version->text() + '|' + ok->text();
            QVERIFY(!dialog->findChild<QLabel*>("AboutIcon")->pixmap().isNull() && ok->isDefault());
            ok->click();
        });
        app.Frame()->OnCommand(ID_APP_ABOUT);
        QCOMPARE(seen, QStringLiteral("About Tavrel|Tavrel Version 1.0|OK"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void commandLineAnswersOnTheConsoleOrNamesAFile()
    {
        // Standard output (its start), exit code, and a line of standard error.
        const std::tuple<QStringList, QString, int, QString> runs[] = {
            {{"--help"}, "Usage: tavrel [options] [file]\n", 0, ""},
            {{"--version"}, "tavrel 1.0\n", 0, ""},
            {{"x.nif", "-v"}, "tavrel 1.0\n", 0, ""},
            {{"--frobnicate"}, "", 2, "tavrel: unknown option '--frobnicate'\n"},
            {{"a.nif", "b.nif"}, "", 2, "tavrel: only one file can be opened at a time\n"},
        };
        for (const auto& [args, out, exitCode, err] : runs) {
            QProcess process;
            process.start(QStringLiteral(TAVREL_EXE), args);
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), exitCode);
            const QString stdOut = process.readAllStandardOutput(), stdErr = process.readAllStandardError();
            QVERIFY2(exitCode == 0 ? stdOut.startsWith(out) && stdErr.isEmpty()
                                   : stdOut.isEmpty() && stdErr.contains(err) && stdErr.contains("Try 'tavrel --help'"),
                     qPrintable(stdOut + stdErr));
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
        CRecentFileList reread(4);
        reread.ReadList();
        QCOMPARE(reread.Files(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
    }

    void enabledStateOfEachCommand_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<IdList>("alsoEnabled");
        const IdList navigation = {ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE};
        for (const char* kind : {"", "bmp", "png", "bmz", "nif one"})
            QTest::newRow(*kind ? kind : "none") << kind << IdList{};
        QTest::newRow("nif three") << "nif three" << navigation;
        QTest::newRow("nif large") << "nif large" << navigation + IdList{ID_EDIT_CREATE_MAP_BITMAP};
    }

    void enabledStateOfEachCommand()
    {
        QFETCH(QString, kind);
        QFETCH(IdList, alsoEnabled);
        const QImage picture = TextureImage({20, 10, 1, 1});
        const std::string path = m_dir.File("state." + kind.left(3).toStdString());
        if (kind == "bmp" || kind == "png")
            picture.save(QString::fromStdString(path), kind == "bmp" ? "BMP" : "PNG");
        else if (kind == "bmz")
            WriteFileBytes(path, BmzBytes(picture));
        else if (kind.startsWith("nif"))   // the large one is longer than 3,000,000 bytes
            WriteModel(m_dir, "state.nif", kind == "nif one"     ? std::vector<Tex>{{16, 16, 1, 1}}
                                           : kind == "nif three" ? std::vector<Tex>{{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}}
                                                                 : std::vector<Tex>{{1024, 1024, 1, 1}, {256, 256, 1, 2}});
        AppHarness app;
        if (!kind.isEmpty()) {
            app.Open(path);
            QCOMPARE(app.m_ui.m_messages, std::vector<std::string>{});
            QVERIFY(app.Doc()->GetActiveImage() && app.Doc()->GetActiveImage()->GetBitmapInfo());
        }
        app.Idle();
        const IdList enabled = IdList{ID_FILE_OPEN, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP,
                                      ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_APP_ABOUT, ID_FILE_NEW}
                               + alsoEnabled;
        for (unsigned id : enabled + IdList{ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE, ID_EDIT_CREATE_MAP_BITMAP,
                                            ID_FILE_SAVE, ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE,
                                            ID_NEXT_PANE, ID_PREV_PANE}) {
            QVERIFY2(app.Frame()->GetAction(id)->isEnabled() == enabled.contains(id), qPrintable(QString::number(id)));
            // A disabled command does not run, even when called past its item.
            QVERIFY2(enabled.contains(id) || !app.Frame()->OnCommand(id), qPrintable(QString::number(id)));
        }
    }

    void compressedBitmapShowsProgressHoldsCommandsOffAndDefersClosing()
    {
        // Large enough for several progress steps.
        const QImage picture = TextureImage({700, 500, 1, 5});
        WriteFileBytes(m_dir.File("progress.bmz"), BmzBytes(picture));
        AppHarness app;
        std::vector<int> reports;
        app.m_ui.m_onProgress = [&](int percent) {
            app.Frame()->ShowProgress(percent);
            reports.push_back(percent);
            QCOMPARE(app.Frame()->GetProgressBar()->isHidden(), percent == -1);
            QVERIFY(percent == -1 || (app.Frame()->GetProgressBar()->value() == percent
                                      && !app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled()));
            // Closing now would delete the document under the load.
            if (reports.size() == 1)
                app.Frame()->OnCommand(ID_APP_EXIT);
        };
        app.Open(m_dir.File("progress.bmz"));
        QVERIFY(reports.size() >= 3 && reports.back() == -1);
        // Done: the commands are back and the image shows.
        QVERIFY(app.Frame()->isVisible() && app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled());
        QCOMPARE(CompareTopLeft(app.RenderView(), picture.copy(0, 0, 400, 300)), QString());
        // The program goes idle: now it closes.
        QTRY_VERIFY(!app.Frame()->isVisible());
    }

    void droppingAFileOpensIt()
    {
        const Tex texture{33, 17, 2, 8};
        AppHarness app;
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(QString::fromStdString(WriteModel(m_dir, "dropped.nif", {texture})))});
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(app.Frame(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPoint(200, 200), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app.Frame(), &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(app.Title(), QStringLiteral("dropped.nif - Tavrel"));
        QCOMPARE(ShowsTexture(app, texture), QString());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
