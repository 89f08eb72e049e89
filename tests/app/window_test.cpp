// The main window as a user first meets it: title, status bar, menus,
// accelerators, toolbar, prompts, the bars' toggles, the About box, a file
// from the command line, and the answers to --help and --version.
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "AppHarness.h"
#include "TestFiles.h"
#include "app/AboutDlg.h"
#include "doc/CommandIds.h"

namespace {

// A menu as the user reads it: item texts, "-" for separators.
QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

unsigned CommandId(const QAction* action)
{
    return action->objectName().mid(int(strlen("Command"))).toUInt();
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void init() { ClearSettings(); }

    void startUpState()
    {
        AppHarness app;
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        QCOMPARE(app.MessageText(), QStringLiteral("Ready"));
        // The trailing spaces are part of the texts: they size the panes.
        QCOMPARE(app.PaneText(ID_INDICATOR_IMAGE_INDEX), QStringLiteral("Image Index: None           "));
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: None             "));
        QCOMPARE(app.View()->GetTotalSize(), QSize(100, 100));
        QVERIFY(!app.View()->horizontalScrollBar()->isVisible());

        // Panes in order after the message pane, each wide enough for its text.
        const QList<QLabel*> labels = app.Frame()->statusBar()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(labels.size(), 3);
        QCOMPARE(labels[0], app.Frame()->GetMessagePane());
        QCOMPARE(labels[1], app.Frame()->GetPane(ID_INDICATOR_IMAGE_INDEX));
        QCOMPARE(labels[2], app.Frame()->GetPane(ID_INDICATOR_DIMENSIONS));
        const QLabel* dims = labels[2];
        QVERIFY(dims->minimumWidth() >= dims->fontMetrics().horizontalAdvance(QStringLiteral("Dimensions: 1024 * 1024")));

        // An empty view is the background only.
        app.Frame()->show();
        const QImage screen = app.RenderView();
        const QRgb background = screen.pixel(0, 0);
        for (int y = 0; y < screen.height(); y += 7)
            for (int x = 0; x < screen.width(); x += 7)
                QCOMPARE(screen.pixel(x, y), background);
        QVERIFY(app.m_ui.m_unexpected.isEmpty());
    }

    void menusHoldTheirItemsInOrder()
    {
        AppHarness app;
        const QList<QAction*> popups = app.Frame()->menuBar()->actions();
        QStringList titles;
        for (QAction* popup : popups)
            titles << popup->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));
        const QStringList expected[] = {
            {"&Open...\tCtrl+O", "Save &As...", "-", "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-",
             "E&xit"},
            {"Replace", "Make Transparent", "Create Map Bitmap"},
            {"&Toolbar", "&Status Bar", "Previous Image", "Next Image"},
            {"&About Tavrel..."},
        };
        const unsigned ids[][6] = {
            {ID_FILE_OPEN, ID_FILE_SAVE_AS, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, ID_APP_EXIT},
            {ID_EDIT_REPLACE_IMAGE, ID_EDIT_MAKE_TRANSPARENT, ID_EDIT_CREATE_MAP_BITMAP},
            {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE},
            {ID_APP_ABOUT},
        };
        for (int i = 0; i < 4; ++i) {
            QMenu* menu = popups[i]->menu();
            QCOMPARE(MenuTexts(menu), expected[i]);
            int n = 0;
            for (QAction* action : menu->actions())
                if (!action->isSeparator())
                    QCOMPARE(CommandId(action), ids[i][n++]);
        }
    }

    void acceleratorsReachTheirCommands()
    {
        AppHarness app;
        const std::pair<const char*, unsigned> keys[] = {
            {"Ctrl+N", ID_FILE_NEW},       {"Ctrl+O", ID_FILE_OPEN},     {"Ctrl+S", ID_FILE_SAVE},
            {"Ctrl+P", ID_FILE_PRINT},     {"Ctrl+Z", ID_EDIT_UNDO},     {"Ctrl+X", ID_EDIT_CUT},
            {"Ctrl+C", ID_EDIT_COPY},      {"Ctrl+V", ID_EDIT_PASTE},    {"Alt+Backspace", ID_EDIT_UNDO},
            {"Shift+Del", ID_EDIT_CUT},    {"Ctrl+Ins", ID_EDIT_COPY},   {"Shift+Ins", ID_EDIT_PASTE},
            {"F6", ID_NEXT_PANE},          {"Shift+F6", ID_PREV_PANE},
        };
        QList<QAction*> all = app.Frame()->findChildren<QAction*>();
        int bound = 0;
        for (QAction* action : all)
            bound += int(action->shortcuts().size());
        QCOMPARE(bound, int(std::size(keys)));
        for (const auto& [key, id] : keys) {
            const QKeySequence sequence(QString::fromLatin1(key));
            QAction* owner = nullptr;
            for (QAction* action : all)
                if (action->shortcuts().contains(sequence))
                    owner = action;
            QVERIFY2(owner, key);
            QCOMPARE(CommandId(owner), id);
        }
    }

    void keysWithoutAHandlerDoNothing()
    {
        const QString path = m_dir.filePath("keys.nif");
        WriteModel(path, {PatternTexture(8, 8, 1, 1), PatternTexture(4, 4, 1, 2)});
        AppHarness app(path.toStdString());
        app.Frame()->show();
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        const QImage before = app.RenderView();
        const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
            {Qt::Key_Z, Qt::ControlModifier},     {Qt::Key_X, Qt::ControlModifier},
            {Qt::Key_C, Qt::ControlModifier},     {Qt::Key_V, Qt::ControlModifier},
            {Qt::Key_Backspace, Qt::AltModifier}, {Qt::Key_Delete, Qt::ShiftModifier},
            {Qt::Key_Insert, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ShiftModifier},
            {Qt::Key_F6, Qt::NoModifier},         {Qt::Key_F6, Qt::ShiftModifier},
            {Qt::Key_S, Qt::ControlModifier},
        };
        for (const auto& [key, modifiers] : keys)
            QTest::keyClick(app.Frame(), key, modifiers);
        QCOMPARE(app.Title(), QStringLiteral("keys.nif - Tavrel"));
        QCOMPARE(app.Doc()->m_nCurrentImage, 0u);
        QCOMPARE(app.RenderView(), before);
        QVERIFY(app.m_ui.m_messages.empty());
        QVERIFY(app.m_ui.m_unexpected.isEmpty());
    }

    void ctrlOAndFileOpenReachTheSameCommand()
    {
        AppHarness app;
        app.Frame()->show();
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        app.m_ui.CancelNextDialog();
        QTest::keyClick(app.Frame(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(1));

        QAction* fileOpen = app.Frame()->menuBar()->actions()[0]->menu()->actions()[0];
        app.m_ui.CancelNextDialog();
        fileOpen->trigger();
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(2));
        for (const FileDialogRequest& request : app.m_ui.m_dialogs) {
            QVERIFY(request.bOpen);
            QCOMPARE(QString::fromStdString(request.strFilter),
                     QStringLiteral("Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
                                    "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp||"));
        }
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
    }

    void toolbarButtonsInOrderWithTheirTips()
    {
        AppHarness app;
        const QList<QAction*> actions = app.Frame()->GetToolBar()->actions();
        QStringList seen;
        for (QAction* action : actions)
            seen << (action->isSeparator() ? QStringLiteral("-") : QString::number(CommandId(action)) + ' ' + action->toolTip());
        QCOMPARE(seen, (QStringList{"57601 Open", "57604 Save As", "-", "57607 Print", "-", "32772 Previous",
                                    "32771 Next", "32773 Replace", "32775 Make Transparent", "-", "57664 About"}));
        for (QAction* action : actions)
            QVERIFY(action->isSeparator() || !action->icon().isNull());
    }

    void promptsShowWhileHoveredAndReadyAfter_data()
    {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("next") << ID_VIEW_NEXT_IMAGE << "View next image";
        QTest::newRow("previous") << ID_VIEW_PREVIOUS_IMAGE << "View previous image";
        QTest::newRow("replace") << ID_EDIT_REPLACE_IMAGE
                                 << "Replace the active image with a 24-bit bitmap or 24-bit portable network graphics file";
        QTest::newRow("transparent") << ID_EDIT_MAKE_TRANSPARENT << "Makes an image fully transparent on the screen";
        QTest::newRow("open") << ID_FILE_OPEN << "Open an existing .bmz, .nif, .bmp or .png image file";
        QTest::newRow("save as") << ID_FILE_SAVE_AS
                                 << "Save the active image to a bitmap or portable network graphics file";
        QTest::newRow("print setup") << ID_FILE_PRINT_SETUP << "Change the printer and printing options";
        QTest::newRow("print") << ID_FILE_PRINT << "Print the active image";
        QTest::newRow("preview") << ID_FILE_PRINT_PREVIEW << "Display full pages";
        QTest::newRow("about") << ID_APP_ABOUT << "Display program information, version number and copyright";
        QTest::newRow("exit") << ID_APP_EXIT << "Quit the application";
        QTest::newRow("toolbar") << ID_VIEW_TOOLBAR << "Show or hide the toolbar";
        QTest::newRow("status bar") << ID_VIEW_STATUS_BAR << "Show or hide the status bar";
        QTest::newRow("map bitmap") << ID_EDIT_CREATE_MAP_BITMAP << "";
    }

    void promptsShowWhileHoveredAndReadyAfter()
    {
        QFETCH(unsigned, id);
        QFETCH(QString, prompt);
        AppHarness app;
        QAction* action = app.Frame()->GetAction(id);
        QVERIFY(action);
        QCOMPARE(action->statusTip(), prompt);
        action->showStatusText(app.Frame());
        QCOMPARE(app.MessageText(), prompt.isEmpty() ? QStringLiteral("Ready") : prompt);
        QStatusTipEvent left{QString()};
        QCoreApplication::sendEvent(app.Frame(), &left);
        QCOMPARE(app.MessageText(), QStringLiteral("Ready"));
    }

    void barsToggleWithTheirCheckMarks()
    {
        AppHarness app;
        app.Frame()->show();
        app.Idle();
        const std::pair<unsigned, QWidget*> bars[] = {
            {ID_VIEW_TOOLBAR, app.Frame()->GetToolBar()},
            {ID_VIEW_STATUS_BAR, app.Frame()->statusBar()},
        };
        for (const auto& [id, bar] : bars) {
            QAction* item = app.Frame()->GetAction(id);
            QVERIFY(item->isCheckable());
            QVERIFY(item->isChecked());
            QVERIFY(bar->isVisible());
            item->trigger();
            app.Idle();
            QVERIFY(!bar->isVisible());
            QVERIFY(!item->isChecked());
            item->trigger();
            app.Idle();
            QVERIFY(bar->isVisible());
            QVERIFY(item->isChecked());
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
            QVERIFY(version);
            QCOMPARE(version->text(), QStringLiteral("Tavrel Version 1.0"));
            QCOMPARE(version->textFormat(), Qt::PlainText);
            auto* icon = dialog->findChild<QLabel*>("AboutIcon");
            QVERIFY(icon && !icon->pixmap().isNull());
            auto* ok = dialog->findChild<QPushButton*>("AboutOk");
            QVERIFY(ok);
            QCOMPARE(ok->text(), QStringLiteral("OK"));
            QVERIFY(ok->isDefault());
            inspected = true;
            ok->click();
        });
        app.Frame()->OnCommand(ID_APP_ABOUT);
        QVERIFY(inspected);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void fileOnTheCommandLineShowsAtOnce()
    {
        const QString path = m_dir.filePath("house.nif");
        const RawTexture texture = PatternTexture(40, 30, 1, 9);
        WriteModel(path, {texture});
        AppHarness app(path.toStdString());
        QCOMPARE(app.Title(), QStringLiteral("house.nif - Tavrel"));
        QCOMPARE(app.PaneText(ID_INDICATOR_IMAGE_INDEX), QStringLiteral("Image Index: 0"));
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: 40 * 30"));
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
    }

    void newDocumentKeepsTheProgramAndTheImageWhole()
    {
        const QString path = m_dir.filePath("big.nif");
        const RawTexture texture = PatternTexture(300, 200, 2, 4);
        WriteModel(path, {texture});
        AppHarness app(path.toStdString());
        app.Frame()->OnCommand(ID_FILE_NEW);
        QCOMPARE(app.Title(), QStringLiteral("Untitled - Tavrel"));
        // The image the document still holds is shown whole, with its scroll area.
        QCOMPARE(app.View()->GetTotalSize(), QSize(300, 200));
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
        QVERIFY(app.Frame()->isVisible());
    }

    void helpAndVersionAnswerOnTheConsole_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tavrel [options] [file]\n" << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: tavrel [options] [file]\n" << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "tavrel 1.0\n" << "";
        QTest::newRow("help after a file") << QStringList{"x.nif", "--help"} << 0 << "Usage: tavrel" << "";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                        << "tavrel: unknown option '--frobnicate'\n";
        QTest::newRow("two files") << QStringList{"a.nif", "b.nif"} << 2 << ""
                                   << "tavrel: only one file can be opened at a time\n";
    }

    void helpAndVersionAnswerOnTheConsole()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess process;
        process.start(QStringLiteral(TAVREL_EXE), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(process.readAllStandardError());
        if (exitCode == 0) {
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
            QCOMPARE(stdErr, QString());
        } else {
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
            QVERIFY(stdErr.contains("Try 'tavrel --help'"));
        }
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
