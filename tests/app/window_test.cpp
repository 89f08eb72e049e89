// The main window as a user first meets it: title, status bar, menus, toolbar,
// keys, the bars' toggles and the command line; which commands
// are offered in each state of the document; the progress and hold-off while a
// compressed bitmap loads; dropping a file.
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QListView>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include <QSlider>

#include "AppHarness.h"
#include "app/FileFilter.h"
#include "app/QtUiServices.h"
#include "app/TransparencyDlg.h"
#include "app/ViewerCommandIds.h"

using IdList = QList<unsigned>;

class WindowTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void startUpStateMenusToolbarAndBars()
    {
        AppHarness app;
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: None | Dimensions: None"));
        // Every menu item has an access key; every toolbar button is a menu item too.
        QList<QAction*> items;
        for (const QAction* popup : app.Frame()->menuBar()->actions())
            items += popup->menu()->actions();
        for (const QAction* item : items)
            QVERIFY2(item->isSeparator() || item->text().contains('&'), qPrintable(item->text()));
        for (QAction* button : app.Frame()->GetToolBar()->actions())
            QVERIFY2(button->isSeparator() || items.contains(button), qPrintable(button->text()));
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
        // Both bars are hidden now, and stay so in the next run.
        app.Frame()->close();
        AppHarness next({}, {}, false);
        QVERIFY(next.Frame()->GetToolBar()->isHidden() && next.Frame()->statusBar()->isHidden());
        QVERIFY(!next.Frame()->GetAction(ID_VIEW_TOOLBAR)->isChecked() &&
            !next.Frame()->GetAction(ID_VIEW_STATUS_BAR)->isChecked());
    }

    void keysStepScrollOpenEmptyAndQuit()
    {
        const std::vector<Tex> textures = {{1200, 900, 1, 1}, {16, 16, 2, 2}, {8, 4, 1, 3}};
        AppHarness app(WriteModel(m_dir, "keys.nif", textures));
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        const QImage before = app.RenderView();
        // Keys bound to commands that nothing handles change nothing.
        for (const char* key :
            {"Ctrl+Z", "Ctrl+X", "Ctrl+V", "Alt+Backspace", "Shift+Del", "Shift+Ins", "F6", "Shift+F6", "Ctrl+S"})
            QTest::keySequence(app.Frame(), QKeySequence(key));
        QCOMPARE(app.Title(), QStringLiteral("keys.nif - Tavrel"));
        QCOMPARE(app.RenderView(), before);
        QVERIFY(app.m_ui.Texts().empty());
        // The arrow keys scroll an image larger than the window, a line at a time.
        QTest::keyClick(app.View(), Qt::Key_Right);
        QTest::keyClick(app.View(), Qt::Key_Down);
        QCOMPARE(app.View()->GetScrollPosition(), QPoint(12, 9));
        // Page Down, Space, Page Up and Backspace step, wrapping round; Home and End go to the ends.
        const std::pair<const char*, unsigned> steps[] = {
            {"PgDown", 1}, {"Space", 2}, {"Space", 0}, {"PgUp", 2}, {"Backspace", 1}, {"Home", 0}, {"End", 2}};
        for (const auto& [key, index] : steps) {
            QTest::keySequence(app.Frame(), QKeySequence(key));
            QCOMPARE(app.Panes(),
                QStringLiteral("Image Index: %1 | Dimensions: %2 * %3")
                    .arg(index)
                    .arg(textures[index].width)
                    .arg(textures[index].height));
        }
        // Ctrl+O and File > Open ask for the same file.
        app.m_ui.CancelNextDialog();
        app.m_ui.CancelNextDialog();
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+O"));
        app.Frame()->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(2));
        QVERIFY(app.m_ui.m_dialogs[0].bOpen && app.m_ui.m_dialogs[1].bOpen);
        QCOMPARE(app.m_ui.m_dialogs[0].strFilter, app.m_ui.m_dialogs[1].strFilter);
        // Ctrl+N empties the document: no name, no image, no numbers.
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+N"));
        QCOMPARE(app.Title() + " | " + app.Panes(),
            QStringLiteral("Untitled - Tavrel | Image Index: None | Dimensions: None"));
        QCOMPARE(Shows(app), QString());
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+Q"));
        QVERIFY(!app.Frame()->isVisible());
    }

    void failedOpensLeaveTitleViewAndPanesAgreeing()
    {
        const Tex shown{20, 10, 1, 1};
        const std::string good = WriteModel(m_dir, "good.nif", {{8, 8, 1, 2}, shown});
        NifBuilder link, none;
        link.Link("good.nif");
        link.Save(m_dir.File("link.nif"));
        none.Text("no textures here").Save(m_dir.File("none.nif"));
        WriteFileBytes(m_dir.File("photo.jpg"), {0xFF, 0xD8, 0xFF});
        WriteFileBytes(m_dir.File("broken.bmp"), {'B', 'M', 1, 2, 3});
        const QString empty = "Untitled - Tavrel | Image Index: None | Dimensions: None";
        const struct {
            const char* file;
            int answer;
            QString state;  // title and panes afterwards; the view shows texture 1 exactly when they name it
        } rows[] = {
            {"photo.jpg", 0, "good.nif - Tavrel | Image Index: 1 | Dimensions: 20 * 10"},  // refused, nothing changes
            {"link.nif", IDNO, empty},
            {"none.nif", 0, empty},
            {"broken.bmp", 0, empty},
        };
        for (const auto& row : rows) {
            AppHarness app(good);
            app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
            if (row.answer)
                app.m_ui.AnswerNext(row.answer);
            app.Open(m_dir.File(row.file));
            QCOMPARE(app.m_ui.Texts().size(), size_t(1));
            QCOMPARE(app.Title() + " | " + app.Panes(), row.state);
            QCOMPARE(Shows(app, row.state == empty ? QImage() : TextureImage(shown)), QString());
        }
    }

    void commandLineFileLoadsInAPaintedWindowWithProgress()
    {
        std::vector<bool> paintedWithBar;
        AppHarness app(WriteModel(m_dir, "start.nif", {{64, 64, 1, 1}, {32, 32, 2, 2}}), [&](AppHarness& harness) {
            harness.m_ui.m_onProgress = [&](int percent) {
                harness.Frame()->ShowProgress(percent);
                paintedWithBar.push_back(harness.Frame()->windowHandle()->isExposed() &&
                    harness.Frame()->GetProgressBar()->isVisible() == (percent >= 0));
            };
        });
        QCOMPARE(paintedWithBar, std::vector<bool>({true, true, true}));  // 50 %, 100 %, done
        QCOMPARE(app.Title(), QStringLiteral("start.nif - Tavrel"));
    }

    void textureListFollowsTheFileAndShowsTheTextureClicked()
    {
        const std::vector<Tex> textures = {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}};
        AppHarness app(WriteModel(m_dir, "list.nif", textures));
        QListView* list = app.Frame()->GetTextureList();
        QVERIFY(app.Frame()->GetTextureDock()->isVisible());
        QStringList rows;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            rows << list->model()->index(row, 0).data().toString();
        QCOMPARE(rows, (QStringList{"0: 16 * 16, 24 bits", "1: 8 * 4, 32 bits", "2: 5 * 3, 24 bits"}));
        // A click shows the texture; Next moves the list along, wrapping.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(2, 0)).center());
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: 2 | Dimensions: 5 * 3"));
        QCOMPARE(Shows(app, TextureImage(textures[2])), QString());
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(list->currentIndex().row(), 0);
        // Another kind of file has no list; View > Textures hides it for model files too.
        TextureImage(textures[0]).save(QString::fromStdString(m_dir.File("list.png")));
        app.Open(m_dir.File("list.png"));
        QVERIFY(!app.Frame()->GetTextureDock()->isVisible() && list->model()->rowCount() == 0);
        app.Frame()->GetAction(ID_VIEW_TEXTURE_LIST)->trigger();
        app.Open(m_dir.File("list.nif"));
        QVERIFY(!app.Frame()->GetTextureDock()->isVisible() && list->model()->rowCount() == 3);
    }

    void exportAllWritesWhatTheToolWrites()
    {
        const std::string model = WriteModel(m_dir, "export.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}});
        AppHarness app(model);
        for (const auto& [type, format] : {std::pair<int, QString>{1, "png"}, {2, "bmp"}, {3, "tga"}}) {
            const QDir window(QString::fromStdString(m_dir.File("window-" + format.toStdString())));
            const QDir tool(QString::fromStdString(m_dir.File("tool-" + format.toStdString())));
            QVERIFY(window.mkpath(".") && tool.mkpath("."));
            QProcess cli;
            cli.start(TAVREL_CLI, {"extract", QString::fromStdString(model), "--all", tool.path(), "--format", format});
            QVERIFY(cli.waitForFinished(20000) && cli.exitCode() == 0);
            // The name field holds the stem the dialog offered, as it came.
            app.m_ui.ChooseFile(window.filePath("export").toStdString(), type);
            QVERIFY(app.Frame()->OnCommand(ID_FILE_EXPORT_ALL));
            QCOMPARE(app.m_ui.m_dialogs.back().strInitialName, std::string("export"));
            const QStringList names = tool.entryList(QDir::Files);
            QCOMPARE(window.entryList(QDir::Files), names);
            QCOMPARE(names.size(), 3);
            for (const QString& name : names)
                QVERIFY2(ReadFileBytes(window.filePath(name).toStdString()) ==
                        ReadFileBytes(tool.filePath(name).toStdString()),
                    qPrintable(name));
        }
        // A folder that cannot be written: the writer's message, and the export stops.
        app.m_ui.ChooseFile(m_dir.File("absent/export"), 2);
        app.Frame()->OnCommand(ID_FILE_EXPORT_ALL);
        QCOMPARE(app.m_ui.Texts().size(), size_t(1));
    }

    void recentFilesNewestFirstFourAtMostAndMissingOnesRemoved()
    {
        AppHarness app;
        for (const char* name : {"r1.nif", "r2.nif", "r3.nif", "r4.nif", "r5.nif", "r3.nif"})
            app.Open(WriteModel(m_dir, name, {{4, 4, 1, 1}}));
        QMenu* menu = app.Frame()->GetRecentFilesMenu();
        const auto entries = [&] {
            emit menu->aboutToShow();
            QStringList texts;
            for (const QAction* a : menu->actions())
                texts << QFileInfo(a->text()).fileName() +
                        (a->text().startsWith('&' + QString::number(texts.size() + 1)) ? "" : "?");
            return texts;
        };
        QCOMPARE(entries(), (QStringList{"r3.nif", "r5.nif", "r4.nif", "r2.nif"}));
        QFile::remove(QString::fromStdString(m_dir.File("r5.nif")));
        menu->actions()[1]->trigger();
        QCOMPARE(app.m_ui.Texts().back(),
            m_dir.File("r5.nif") + " no longer exists. It has been removed from the Recent Files list.");
        QCOMPARE(entries(), (QStringList{"r3.nif", "r4.nif", "r2.nif"}));
        menu->actions()[2]->trigger();
        QCOMPARE(app.Title(), QStringLiteral("r2.nif - Tavrel"));
        QCOMPARE(entries(), (QStringList{"r2.nif", "r3.nif", "r4.nif"}));
        QCOMPARE(app.m_ui.Texts().size(), size_t(1));
    }

    void qtFileDialogGetsTheRequestAndReturnsTheChosenType()
    {
        WriteModel(m_dir, "pick.nif", {{4, 4, 1, 1}});
        const QString dir = QString::fromStdString(m_dir.Path());
        const struct {
            FileDialogRequest request;
            QFileDialog::FileMode mode;
            QString chosenFilter;
            int chosenIndex;
        } rows[] = {
            {{true, "",
                 "Varn Raw Image Data (*.nif)|*.nif|Windows Bitmap (*.bmp)|*.bmp|All (*.nif;*.bmp)|*.nif;*.bmp||", "",
                 m_dir.Path(), "", OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, 3, false},
                QFileDialog::ExistingFile, "Varn Raw Image Data (*.nif)", 1},
            {{false, "Export", "PNG (*.png)|*.png|Targa (*.tga)|*.tga||", "png", m_dir.Path(), "pick", 0, 2, true},
                QFileDialog::AnyFile, "PNG (*.png)", 1},
        };
        for (const auto& row : rows) {
            QtUiServices ui;
            QStringList seen;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                seen << QString::number(dialog->fileMode()) << QString::number(dialog->acceptMode())
                     << dialog->nameFilters().join(';') << dialog->selectedNameFilter() << dialog->directory().path()
                     << QString::number(dialog->testOption(QFileDialog::DontConfirmOverwrite))
                     << (row.request.strTitle.empty() ? QString() : dialog->windowTitle());
                dialog->selectNameFilter(row.chosenFilter);
                dialog->selectFile(dir + "/pick.nif");
                QMetaObject::invokeMethod(dialog, "accept");
            });
            const std::optional<FileDialogResult> result = ui.FileDialog(row.request);
            const QStringList filters = NameFiltersFromFilter(row.request.strFilter);
            QCOMPARE(seen,
                (QStringList{QString::number(row.mode), QString::number(row.request.bOpen ? 0 : 1), filters.join(';'),
                    filters[row.request.nFilterIndex - 1], dir, QString::number(!row.request.bOpen),
                    QString::fromStdString(row.request.strTitle)}));
            QVERIFY(result && result->nFilterIndex == row.chosenIndex);
            QCOMPARE(QString::fromStdString(result->strPath), dir + "/pick.nif");
        }
    }

    void commandLineAnswersOnTheConsole()
    {
        // Exit code, then what standard error must hold (--help is the packaging tests').
        const std::tuple<QStringList, int, QString> runs[] = {
            {{"--frobnicate"}, 2, "tavrel: unknown option '--frobnicate'\nTry 'tavrel --help'"},
            {{"a.nif", "b.nif"}, 2, "tavrel: only one file can be opened at a time\nTry 'tavrel --help'"},
        };
        for (const auto& [args, exitCode, text] : runs) {
            QProcess process;
            process.start(QStringLiteral(TAVREL_EXE), args);
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitCode(), exitCode);  // a crash's code is its signal
            const QString stdOut = process.readAllStandardOutput(), stdErr = process.readAllStandardError();
            QVERIFY2(stdOut.isEmpty() && stdErr.contains(text), qPrintable(stdOut + stdErr));
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
        WriteModel(m_dir, "large.nif", {{1024, 1024, 1, 1}, {256, 256, 1, 2}});  // longer than 3,000,000 bytes
        const IdList steps = {ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE, ID_VIEW_FIRST_IMAGE, ID_VIEW_LAST_IMAGE};
        const IdList edits = {ID_EDIT_REPLACE_IMAGE, ID_EDIT_MAKE_TRANSPARENT};
        const std::pair<std::string, IdList> states[] = {{"", {}}, {"state.bmp", {}}, {"state.png", {}},
            {"state.bmz", {ID_EDIT_REPLACE_IMAGE}}, {"one.nif", edits}, {"three.nif", steps + edits},
            {"large.nif", steps + edits + IdList{ID_EDIT_CREATE_MAP_BITMAP}}};
        const IdList withImage = {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_EDIT_COPY, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT,
            ID_VIEW_ACTUAL_SIZE, ID_VIEW_FIT_TO_WINDOW, ID_FILE_EXPORT_ALL};
        for (const auto& [file, alsoEnabled] : states) {
            AppHarness app;
            if (!file.empty())
                app.Open(m_dir.File(file));
            QVERIFY2(app.m_ui.Texts().empty() && (file.empty() || app.Doc()->GetActiveImage()), file.c_str());
            app.Idle();
            const IdList enabled =
                IdList{ID_FILE_OPEN, ID_FILE_PRINT_SETUP, ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR,
                    ID_APP_ABOUT, ID_FILE_NEW, ID_VIEW_SHOW_TRANSPARENCY, ID_VIEW_ALPHA_CHANNEL, ID_VIEW_TEXTURE_LIST} +
                alsoEnabled + (file.empty() ? IdList{} : withImage + IdList{ID_FILE_SAVE_AS});
            for (unsigned id : enabled + withImage + steps + edits +
                    IdList{ID_EDIT_CREATE_MAP_BITMAP, ID_FILE_SAVE_AS, ID_FILE_SAVE, ID_EDIT_UNDO, ID_EDIT_CUT,
                        ID_EDIT_COPY, ID_EDIT_PASTE, ID_NEXT_PANE, ID_PREV_PANE}) {
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
            const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
            QSlider* slider = dialog.GetSlider();
            dialog.show();
            slider->setValue(position);
            buttons[0]->click();
            QCOMPARE(
                std::make_pair(dialog.result(), int(dialog.GetAlpha())), std::make_pair(int(QDialog::Accepted), alpha));
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
            QVERIFY(percent == -1 ||
                (app.Frame()->GetProgressBar()->value() == percent &&
                    !app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled()));
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
