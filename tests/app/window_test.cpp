// The main window as a user first meets it: title, status bar, menus, toolbar,
// keys, the bars' toggles, the About box and the command line; which commands
// are offered in each state of the document; the progress and hold-off while a
// compressed bitmap loads; dropping a file.
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <QSlider>

#include "AppHarness.h"
#include "TgaBuilder.h"
#include "app/FileFilter.h"
#include "app/QtUiServices.h"
#include "app/TransparencyDlg.h"

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
        QCOMPARE(Shows(app), QString());
        // The menus and the toolbar hold their items in order.
        QStringList menus;
        for (const QAction* popup : app.Frame()->menuBar()->actions())
            menus << popup->text() + ": " + Items(popup->menu()->actions(), false).join(", ");
        QCOMPARE(menus, (QStringList{"&File: 57601 &Open...\tCtrl+O, 57604 Save &As..., -, 32800 &Import Textures..., -, "
                                     "57607 &Print...\tCtrl+P, "
                                     "57609 Print Pre&view, 57606 P&rint Setup..., -, 57665 E&xit",
                                     "&Edit: 32773 Replace, 32775 Make Transparent, 32777 Create Map Bitmap",
                                     "&View: 59392 &Toolbar, 59393 &Status Bar, 32772 Previous Image, 32771 Next Image",
                                     "&Help: 57664 &About Tavrel..."}));
        QCOMPARE(Items(app.Frame()->GetToolBar()->actions(), true),
                 (QStringList{"57601 Open", "57604 Save As", "-", "57607 Print", "-", "32772 Previous", "32771 Next",
                              "32773 Replace", "32775 Make Transparent", "-", "57664 About"}));
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
        QCOMPARE(Shows(app, TextureImage(texture)), QString());
    }

    void aboutBoxShowsNameVersionAndOk()
    {
        AppHarness app;
        QString seen;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* ok = dialog->findChild<QPushButton*>("AboutOk");
            seen = dialog->windowTitle() + '|' + dialog->findChild<QLabel*>("AboutVersion")->text() + '|' + ok->text();
            ok->click();
        });
        app.Frame()->OnCommand(ID_APP_ABOUT);
        QCOMPARE(seen, QStringLiteral("About Tavrel|Tavrel Version 1.0|OK"));
    }

    void commandLineAnswersOnTheConsole()
    {
        // Exit code, then the start of standard output or what standard error must hold.
        const std::tuple<QStringList, int, QString> runs[] = {
            {{"--help"}, 0, "Usage: tavrel [options] [file]\n"},
            {{"--version"}, 0, "tavrel 1.0\n"},
            {{"--frobnicate"}, 2, "tavrel: unknown option '--frobnicate'\nTry 'tavrel --help'"},
            {{"a.nif", "b.nif"}, 2, "tavrel: only one file can be opened at a time\nTry 'tavrel --help'"},
        };
        for (const auto& [args, exitCode, text] : runs) {
            QProcess process;
            process.start(QStringLiteral(TAVREL_EXE), args);
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitCode(), exitCode);   // a crash's code is its signal
            const QString stdOut = process.readAllStandardOutput(), stdErr = process.readAllStandardError();
            QVERIFY2(exitCode == 0 ? stdOut.startsWith(text) && stdErr.isEmpty() : stdOut.isEmpty() && stdErr.contains(text),
                     qPrintable(stdOut + stdErr));
        }
    }

    void enabledStateOfEachCommand()
    {
        const QImage picture = TextureImage({20, 10, 1, 1});
        picture.save(QString::fromStdString(m_dir.File("state.bmp")), "BMP");
        picture.save(QString::fromStdString(m_dir.File("state.png")), "PNG");
        WriteFileBytes(m_dir.File("state.bmz"), BmzBytes(picture));
        WriteModel(m_dir, "one.nif", {{16, 16, 1, 1}});
        WriteModel(m_dir, "three.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}});
        WriteModel(m_dir, "large.nif", {{1024, 1024, 1, 1}, {256, 256, 1, 2}});   // longer than 3,000,000 bytes
        const IdList steps = {ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE}, edits = {ID_EDIT_REPLACE_IMAGE, ID_EDIT_MAKE_TRANSPARENT};
        const std::pair<std::string, IdList> states[] = {{"", {}}, {"state.bmp", {}}, {"state.png", {}},
            {"state.bmz", {ID_EDIT_REPLACE_IMAGE}}, {"one.nif", edits}, {"three.nif", steps + edits},
            {"large.nif", steps + edits + IdList{ID_EDIT_CREATE_MAP_BITMAP}}};
        for (const auto& [file, alsoEnabled] : states) {
            AppHarness app;
            if (!file.empty())
                app.Open(m_dir.File(file));
            QVERIFY2(app.m_ui.m_messages.empty() && (file.empty() || app.Doc()->GetActiveImage()), file.c_str());
            app.Idle();
            const IdList enabled = IdList{ID_FILE_OPEN, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP,
                                          ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_APP_ABOUT, ID_FILE_NEW}
                                   + alsoEnabled + (file.empty() ? IdList{} : IdList{ID_FILE_SAVE_AS});
            for (unsigned id : enabled + edits + IdList{ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE, ID_EDIT_CREATE_MAP_BITMAP,
                                                ID_FILE_SAVE_AS, ID_FILE_SAVE, ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY,
                                                ID_EDIT_PASTE, ID_NEXT_PANE, ID_PREV_PANE}) {
                const QString where = QString::fromStdString(file) + ' ' + QString::number(id);
                QVERIFY2(app.Frame()->GetAction(id)->isEnabled() == enabled.contains(id), qPrintable(where));
                // A disabled command does not run, even when called past its item.
                QVERIFY2(enabled.contains(id) || !app.Frame()->OnCommand(id), qPrintable(where));
            }
        }
    }

    void transparencyDialogGivesTheAlphaOfTheSlider()
    {
        for (const auto& [position, alpha] : {std::pair{0, 255}, {128, 127}, {255, 0}}) {
            CTransparencyDlg dialog;
            QStringList labels;
            for (const QLabel* label : dialog.findChildren<QLabel*>())
                labels << label->text();
            const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
            QSlider* slider = dialog.GetSlider();
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Image Transparency"));
            QCOMPARE(labels, (QStringList{"Transparency Level", "0%", "50%", "100%"}));
            QVERIFY(buttons.size() == 1 && buttons[0]->text() == "OK" && buttons[0]->isDefault());
            QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
            QCOMPARE(std::make_tuple(slider->orientation(), slider->minimum(), slider->maximum(), slider->value(), slider->tickPosition()),
                     std::make_tuple(Qt::Horizontal, 0, 255, 0, QSlider::NoTicks));
            dialog.show();
            slider->setValue(position);
            buttons[0]->click();
            QCOMPARE(std::make_pair(dialog.result(), int(dialog.GetAlpha())), std::make_pair(int(QDialog::Accepted), alpha));
        }
        // Escape cancels.
        CTransparencyDlg dialog;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        // The window's services ask with this dialog.
        QtUiServices services;
        QTimer::singleShot(0, [] {
            QApplication::activeModalWidget()->findChild<QSlider*>("TransparencySlider")->setValue(200);
            QApplication::activeModalWidget()->findChild<QPushButton*>("TransparencyOk")->click();
        });
        QCOMPARE(services.AskTransparencyLevel(), std::optional<uint8_t>(55));
    }

    void targaFromTheCommandLineShows()
    {
        const QImage picture = TextureImage({9, 5, 1, 6}).convertToFormat(QImage::Format_RGB888);
        std::vector<uint8_t> pixels;   // bottom row first, blue, green, red
        for (int y = picture.height() - 1; y >= 0; --y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb c = picture.pixel(x, y);
                pixels.insert(pixels.end(), {uint8_t(qBlue(c)), uint8_t(qGreen(c)), uint8_t(qRed(c))});
            }
        WriteFileBytes(m_dir.File("shown.tga"), BuildTga({.width = 9, .height = 5, .pixels = pixels}));
        AppHarness app(m_dir.File("shown.tga"));
        QCOMPARE(app.Title(), QStringLiteral("shown.tga - Tavrel"));
        QCOMPARE(Shows(app, picture), QString());
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
        QCOMPARE(Shows(app, picture), QString());
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
        QTRY_COMPARE(app.Title(), QStringLiteral("dropped.nif - Tavrel"));
        QCOMPARE(Shows(app, TextureImage(texture)), QString());
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
