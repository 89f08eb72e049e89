// The main window's wiring: keys and menu items reaching their commands, which
// commands are offered in each state of the document, the bars, the texture
// list, recent files, the transparency dialog, loading with
// progress, and dropping a file.

#include "AppHarness.h"
#include "app/DialogFolders.h"
#include "app/QtUiServices.h"
#include "app/ViewerCommandIds.h"

using IdList = QList<unsigned>;

class WindowTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void keysScrollStepAndShowEachTextureAndNewEmpties()
    {
        // Larger than the window, rows that need padding in the record, RGBA, and a single row.
        const std::vector<Tex> textures = {{1000, 800, 1, 1}, {64, 33, 2, 2}, {9, 1, 1, 3}};
        AppHarness app(WriteModel(m_dir, "keys.nif", textures));
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        CTavrelView* view = app.View();
        const QSize page = view->viewport()->size();
        QTRY_COMPARE(view->horizontalScrollBar()->maximum(), 1000 - page.width());
        QCOMPARE(view->verticalScrollBar()->maximum(), 800 - page.height());
        // The arrow keys scroll; the view shows the part scrolled to.
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClick(view, Qt::Key_Down);
        const QPoint at = view->GetScrollPosition();
        QVERIFY(at.x() > 0 && at.y() > 0);
        QCOMPARE(Shows(app, TextureImage(textures[0]).copy(QRect(at, page))), QString());
        // Page Down, Space, Page Up and Backspace step, wrapping round; Home and End go to the ends.
        const std::pair<const char*, unsigned> steps[] = {
            {"PgDown", 1}, {"Space", 2}, {"Space", 0}, {"PgUp", 2}, {"Backspace", 1}, {"Home", 0}, {"End", 2}};
        for (const auto& [key, index] : steps) {
            QTest::keySequence(app.Frame(), QKeySequence(key));
            const Tex& t = textures[index];
            QCOMPARE(app.Panes(),
                QStringLiteral("Image Index: %1 | Dimensions: %2 * %3").arg(index).arg(t.width).arg(t.height));
            const QImage want = TextureImage(t);
            QCOMPARE(Shows(app, want.copy(QRect(QPoint(), page) & want.rect())), QString());
        }
        // A command releases the records; a repaint that comes before its update draws nothing.
        app.Doc()->ReleaseRawImages();
        QCOMPARE(Shows(app), QString());
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+N"));
        QCOMPARE(app.Title() + " | " + app.Panes(),
            QStringLiteral("Untitled - Tavrel | Image Index: None | Dimensions: None"));
        QCOMPARE(Shows(app), QString());
    }

    void anEmptyTextureShowsAnEmptyViewAndTheOthersWork()
    {
        const std::vector<Tex> textures = {{4, 4, 1, 1}, {0, 7, 2, 2}, {3, 2, 1, 3}};
        AppHarness app(WriteModel(m_dir, "empty.nif", textures));
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: 1 | Dimensions: 0 * 7"));
        QCOMPARE(Shows(app), QString());
        app.Frame()->OnCommand(ID_VIEW_FIT_TO_WINDOW);
        QCOMPARE(Shows(app), QString());
        app.Idle();
        QVERIFY(!app.Frame()->GetAction(ID_FILE_SAVE_AS)->isEnabled());
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(Shows(app, TextureImage(textures[2])), QString());
        QVERIFY(app.m_ui.Texts().empty());
    }

    void textureListFollowsTheFileItsMenuActsOnTheRowClickedAndItHidesLikeTheBars()
    {
        const std::vector<Tex> textures = {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}};
        AppHarness app(WriteModel(m_dir, "list.nif", textures));
        QListView* list = app.Frame()->GetTextureList();
        QVERIFY(app.Frame()->GetTextureDock()->isVisible() && list->model()->rowCount() == 3);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(2, 0)).center());
        QCOMPARE(Shows(app, TextureImage(textures[2])), QString());
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(list->currentIndex().row(), 0);
        // The row's menu acts on the row clicked; its Copy is the Edit menu's.
        QStringList items;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions())
                items << action->text().remove('&').section('\t', 0, 0);
            menu->actions().back()->trigger();
            menu->close();
        });
        emit list->customContextMenuRequested(list->visualRect(list->model()->index(2, 0)).center());
        QCOMPARE(items, (QStringList{"Save As...", "Replace", "Edit Externally", "Copy"}));
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: 2 | Dimensions: 5 * 3"));
        QCOMPARE(
            QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), TextureImage(textures[2]));
        QVERIFY(app.Frame()->menuBar()->actions()[1]->menu()->actions().contains(app.Frame()->GetAction(ID_EDIT_COPY)));
        // Another kind of file has no list; View > Textures hides it for model files too, as the bars' items hide them.
        TextureImage(textures[0]).save(QString::fromStdString(m_dir.File("list.png")));
        app.Open(m_dir.File("list.png"));
        QVERIFY(!app.Frame()->GetTextureDock()->isVisible() && list->model()->rowCount() == 0);
        for (unsigned id : {ID_VIEW_TEXTURE_LIST, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR})
            app.Frame()->GetAction(id)->trigger();
        app.Open(m_dir.File("list.nif"));
        QVERIFY(!app.Frame()->GetTextureDock()->isVisible() && list->model()->rowCount() == 3);
        QVERIFY(app.Frame()->GetToolBar()->isHidden() && app.Frame()->statusBar()->isHidden());
        QVERIFY(!app.Frame()->GetAction(ID_VIEW_TOOLBAR)->isChecked() &&
            !app.Frame()->GetAction(ID_VIEW_STATUS_BAR)->isChecked());
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
            app.m_ui.ChooseFile(window.filePath("export").toStdString(), type);
            QVERIFY(app.Frame()->OnCommand(ID_FILE_EXPORT_ALL));
            const QStringList names = tool.entryList(QDir::Files);
            QVERIFY(window.entryList(QDir::Files) == names && names.size() == 3);
            for (const QString& name : names)
                QVERIFY2(ReadFileBytes(window.filePath(name).toStdString()) ==
                        ReadFileBytes(tool.filePath(name).toStdString()),
                    qPrintable(name));
        }
        // Again into the PNG folder, one file edited meanwhile: one question; No leaves it, Yes replaces it. (The
        // files that hold their image are never written again: the engine's rule, the tool's test.)
        const QDir pngs(QString::fromStdString(m_dir.File("window-png")));
        const std::string edited = pngs.filePath("export-001.png").toStdString();
        const std::vector<uint8_t> exported = ReadFileBytes(edited);
        WriteFileBytes(edited, {1, 2, 3});
        const std::string question = "1 file in " + pngs.path().toStdString() +
            " would be overwritten: it differs from the image being exported.\nOverwrite them?";
        for (const int answer : {IDNO, IDYES}) {
            app.m_ui.m_messages.clear();
            app.m_ui.AnswerNext(answer);
            app.m_ui.ChooseFile(pngs.filePath("export").toStdString(), 1);
            app.Frame()->OnCommand(ID_FILE_EXPORT_ALL);
            QCOMPARE(app.m_ui.Texts(), std::vector<std::string>{question});
            QVERIFY(ReadFileBytes(edited) == (answer == IDYES ? exported : std::vector<uint8_t>{1, 2, 3}));
        }
        // A folder that cannot be made: its message, once, and the export stops.
        app.m_ui.m_messages.clear();
        WriteFileBytes(m_dir.File("plain"), {1});
        app.m_ui.ChooseFile(m_dir.File("plain/export"), 2);
        app.Frame()->OnCommand(ID_FILE_EXPORT_ALL);
        QCOMPARE(app.m_ui.Texts(),
            std::vector<std::string>{"Cannot create the folder " + m_dir.File("plain") + ": Not a directory."});
    }

    void exportAllAndImportRunUnderAProgressDialogWhoseCancelWritesNothing()
    {
        const std::string model = WriteModel(m_dir, "work.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}});
        const std::string out = m_dir.File("work");
        AppHarness app(model);
        // Each progress dialog as it comes up: the document is busy; from the `cancelFrom`th on, Cancel is pressed.
        int shown = 0, cancelFrom = 0;
        struct Watch : QObject {
            std::function<void(QProgressDialog*)> onShow;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (auto* dialog = qobject_cast<QProgressDialog*>(o); dialog && e->type() == QEvent::Show)
                    onShow(dialog);
                return false;
            }
        } watch;
        watch.onShow = [&](QProgressDialog* dialog) {
            QVERIFY(app.Doc()->IsBusy());
            if (shown++ >= cancelFrom)
                dialog->findChild<QPushButton*>()->click();
        };
        qApp->installEventFilter(&watch);
        const auto exportAll = [&] {
            app.m_ui.ChooseFile(out + "/work", 1);
            app.Frame()->OnCommand(ID_FILE_EXPORT_ALL);
        };
        exportAll();
        QVERIFY(shown == 1 && !QFileInfo::exists(QString::fromStdString(out)) && app.m_ui.Texts().empty());
        cancelFrom = 99;
        exportAll();
        QVERIFY(QFileInfo::exists(QString::fromStdString(out + "/work-001.png")));

        // An edited texture: Import checks (one dialog), asks, writes (another); a Cancel of the write leaves the
        // model file and makes no backup.
        TextureImage({8, 4, 2, 9})
            .convertToFormat(QImage::Format_ARGB32)
            .save(QString::fromStdString(out + "/work-001.png"));
        const std::vector<uint8_t> before = ReadFileBytes(model);
        const std::string backup = "Would you like to make a backup of work?";
        shown = 0, cancelFrom = 1;
        app.m_ui.ChooseFile(out);
        app.m_ui.AnswerNext(IDYES);
        app.Frame()->OnCommand(ID_FILE_IMPORT_TEXTURES);
        QVERIFY(shown == 2 && ReadFileBytes(model) == before && app.m_ui.Texts() == std::vector<std::string>{backup});
        QCOMPARE(QDir(QString::fromStdString(m_dir.Path())).entryList({"work.nif*"}), QStringList{"work.nif"});
        // Not cancelled: written (the bytes: the import's own tests), and the report.
        cancelFrom = 99;
        app.m_ui.m_messages.clear();
        app.m_ui.ChooseFile(out);
        app.m_ui.AnswerNext(IDNO);
        app.Frame()->OnCommand(ID_FILE_IMPORT_TEXTURES);
        QVERIFY(ReadFileBytes(model) != before);
        QCOMPARE(app.m_ui.Texts(),
            (std::vector<std::string>{backup, "0 work-000.png unchanged\n1 work-001.png replaced\n"}));

        // A large image is read under a dialog too: cancelled, the file shown before stays.
        QImage large(4096, 4096, QImage::Format_RGB32);
        large.fill(Qt::darkCyan);
        WriteFileBytes(m_dir.File("large.bmz"), BmzBytes(large));
        shown = 0, cancelFrom = 0;
        app.Open(m_dir.File("large.bmz"));
        QVERIFY(shown == 1 && app.Title() == QStringLiteral("work.nif - Tavrel") && app.Doc()->ImageCount() == 2);
        cancelFrom = 99;
        app.Open(m_dir.File("large.bmz"));
        QVERIFY(shown == 2 && app.Doc()->GetActiveImage()->GetWidth() == 4096);
        // And a large file is written under one, which has no Cancel: a write is not stopped half-way.
        app.Open(WriteModel(m_dir, "large.nif", {{2048, 4096, 2, 1}}));
        int writes = 0;
        watch.onShow = [&](QProgressDialog* dialog) {
            ++shown;
            const bool write = dialog->labelText().startsWith(QStringLiteral("Writing large."));
            QVERIFY(app.Doc()->IsBusy() && write == !dialog->findChild<QPushButton*>());
            writes += write;
        };
        app.m_ui.AnswerNext(IDNO);
        app.m_ui.ChooseAlpha(77);
        QVERIFY(app.Frame()->OnCommand(ID_EDIT_MAKE_TRANSPARENT));
        // The write, and the read back of the texture.
        QVERIFY(shown == 5 && writes == 1 && app.Doc()->GetActiveImage()->GetBits()[3] == 77);
        // Save As of that texture too.
        app.m_ui.ChooseFile(m_dir.File("large.bmp"), 1);
        app.Frame()->OnCommand(ID_FILE_SAVE_AS);
        QVERIFY(writes == 2 && QFileInfo(QString::fromStdString(m_dir.File("large.bmp"))).size() > (32 << 20));
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
                texts << QFileInfo(a->text()).fileName();
            return texts;
        };
        QCOMPARE(entries(), (QStringList{"r3.nif", "r5.nif", "r4.nif", "r2.nif"}));
        QFile::remove(QString::fromStdString(m_dir.File("r5.nif")));
        menu->actions()[1]->trigger();
        QCOMPARE(entries(), (QStringList{"r3.nif", "r4.nif", "r2.nif"}));
        menu->actions()[2]->trigger();
        QCOMPARE(app.Title(), QStringLiteral("r2.nif - Tavrel"));
        QCOMPARE(app.m_ui.Texts().size(), size_t(1));
    }

    void enabledStateOfEachCommand()
    {
        const QImage picture = TextureImage({20, 10, 1, 1});
        picture.save(QString::fromStdString(m_dir.File("state.png")), "PNG");
        WriteFileBytes(m_dir.File("state.bmz"), BmzBytes(picture));
        WriteModel(m_dir, "one.nif", {{16, 16, 1, 1}});
        WriteModel(m_dir, "three.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}});
        WriteModel(m_dir, "large.nif", {{1024, 1024, 1, 1}, {256, 256, 1, 2}});  // longer than 3,000,000 bytes
        const IdList steps = {ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE, ID_VIEW_FIRST_IMAGE, ID_VIEW_LAST_IMAGE};
        const IdList edits = {ID_EDIT_REPLACE_IMAGE, ID_EDIT_MAKE_TRANSPARENT};
        // Make Transparent only for an RGBA texture: the first texture of each model file here is RGB.
        const IdList replace = {ID_EDIT_REPLACE_IMAGE};
        const std::pair<std::string, IdList> states[] = {{"", {}}, {"state.png", {}}, {"state.bmz", replace},
            {"one.nif", replace}, {"three.nif", steps + replace},
            {"large.nif", steps + replace + IdList{ID_EDIT_CREATE_MAP_BITMAP}}};
        const IdList withImage = {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_EDIT_COPY, ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT,
            ID_VIEW_ACTUAL_SIZE, ID_VIEW_FIT_TO_WINDOW, ID_FILE_EXPORT_ALL, ID_FILE_SAVE_AS};
        for (const auto& [file, alsoEnabled] : states) {
            AppHarness app;
            if (!file.empty())
                app.Open(m_dir.File(file));
            QVERIFY2(app.m_ui.Texts().empty() && (file.empty() || app.Doc()->GetActiveImage()), file.c_str());
            app.Idle();
            const IdList enabled =
                IdList{ID_FILE_OPEN, ID_FILE_NEW} + alsoEnabled + (file.empty() ? IdList{} : withImage);
            for (unsigned id : enabled + withImage + steps + edits +
                    IdList{ID_EDIT_CREATE_MAP_BITMAP, ID_FILE_SAVE, ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_PASTE}) {
                const QString where = QString::fromStdString(file) + ' ' + QString::number(id);
                QVERIFY2(app.Frame()->GetAction(id)->isEnabled() == enabled.contains(id), qPrintable(where));
                // A disabled command does not run, even when called past its item.
                QVERIFY2(enabled.contains(id) || !app.Frame()->OnCommand(id), qPrintable(where));
            }
        }
    }

    void transparencyDialogAnswersWithTheSlidersAlphaOrNothing()
    {
        QtUiServices services;
        for (const bool accept : {true, false}) {
            QTimer::singleShot(0, [accept] {
                QWidget* dialog = QApplication::activeModalWidget();
                dialog->findChild<QSlider*>("TransparencySlider")->setValue(200);
                if (accept)
                    dialog->findChild<QPushButton*>("TransparencyOk")->click();
                else
                    QTest::keyClick(dialog, Qt::Key_Escape);
            });
            QCOMPARE(services.AskTransparencyLevel(), accept ? std::optional<uint8_t>(55) : std::nullopt);
        }
    }

    void commandLineModelFileLoadsInAPaintedWindowWithProgressHoldingCommandsOffAndClosingDeferred()
    {
        // Textures enough for several progress steps.
        const std::vector<Tex> textures = {{70, 50, 1, 5}, {8, 8, 2, 6}, {8, 8, 1, 7}, {8, 8, 2, 8}};
        const QImage picture = TextureImage(textures[0]);
        const std::string path = WriteModel(m_dir, "progress.nif", textures);
        std::vector<int> reports;
        AppHarness app(path, [&](AppHarness& harness) {
            harness.m_ui.m_onProgress = [&](int percent) {
                CMainFrame* frame = harness.Frame();
                frame->ShowProgress(percent);
                reports.push_back(percent);
                QVERIFY(frame->windowHandle()->isExposed());
                QCOMPARE(frame->GetProgressBar()->isHidden(), percent == -1);
                QVERIFY(percent == -1 ||
                    (frame->GetProgressBar()->value() == percent && !frame->GetAction(ID_FILE_OPEN)->isEnabled()));
                // Closing now would delete the document under the load.
                if (reports.size() == 1)
                    frame->OnCommand(ID_APP_EXIT);
            };
        });
        QVERIFY(reports.size() >= 3 && reports.back() == -1);
        // Done: the commands are back and the image shows.
        app.Idle();
        QVERIFY(app.Frame()->isVisible() && app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled());
        QCOMPARE(Shows(app, picture), QString());
        // The program goes idle: now it closes.
        QTRY_VERIFY(!app.Frame()->isVisible());
    }

    void f1ListsTheKeysOfTheCommandsThatDoSomething()
    {
        AppHarness app;
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        QTest::keyClick(app.Frame(), Qt::Key_F1);
        QCOMPARE(app.m_ui.Texts().size(), size_t(1));
        const QStringList lines = QString::fromStdString(app.m_ui.Texts()[0]).split('\n');
        const auto line = [&](const QString& command) {
            for (const QString& l : lines)
                if (l.endsWith("  " + command))
                    return l.section("  ", 0, 0).trimmed();
            return QString();
        };
        const std::pair<QString, QString> wanted[] = {{"Open", "Ctrl+O"}, {"Reload", "F5"},
            {"Copy", "Ctrl+C, Ctrl+Ins"}, {"Keyboard Shortcuts", "F1"}, {"Next Image", "PgDown, Space"},
            {"First", "Home"}, {"Undo", "Ctrl+Z, Alt+Backspace"}, {"Redo", "Ctrl+Shift+Z, Ctrl+Y"},
            {"Edit Externally", "Ctrl+E"}};
        for (const auto& [command, keys] : wanted)
            QCOMPARE(line(command), keys);
        for (const QString& l : lines)  // nothing carries Save
            QVERIFY2(!l.section("  ", 0, 0).trimmed().split(", ").contains("Ctrl+S"), qPrintable(l));
    }

    void dockFitModeAndOpenFolderCarryOverToTheNextRun()
    {
        const std::string model = WriteModel(m_dir, "run.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}});
        QMap<QString, QVariant> saved;
        {
            AppHarness app;
            app.Open(model);
            for (unsigned id : {ID_VIEW_TEXTURE_LIST, ID_VIEW_FIT_TO_WINDOW, ID_VIEW_FIT_ENLARGES})
                app.Frame()->GetAction(id)->trigger();
            QSettings settings;
            for (const QString& key : settings.allKeys())
                saved[key] = settings.value(key);
        }
        AppHarness app(model, [&](AppHarness&) {
            QSettings settings;
            for (auto it = saved.begin(); it != saved.end(); ++it)
                settings.setValue(it.key(), it.value());
        });
        QVERIFY(!app.Frame()->GetTextureDock()->isVisible());
        QVERIFY(app.Frame()->GetAction(ID_VIEW_FIT_TO_WINDOW)->isChecked());
        QVERIFY(app.Frame()->GetAction(ID_VIEW_FIT_ENLARGES)->isChecked());
        QVERIFY(app.View()->GetZoom() > 10);  // 16 * 16 enlarged to the window
        QCOMPARE(RememberedFolder("Open"), QString::fromStdString(m_dir.Path()));
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
