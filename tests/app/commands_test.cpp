// Which commands are offered in each state of the document, the progress and
// hold-off while a compressed bitmap loads, and opening by drag and drop.
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QUrl>

#include <map>

#include "AppHarness.h"
#include "TestFiles.h"
#include "doc/CommandIds.h"

namespace {

// The commands whose state the window and the document decide; the editing
// commands of other parts are checked against their own handlers below.
const unsigned kCheckedCommands[] = {
    ID_FILE_OPEN,          ID_FILE_PRINT,      ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP,
    ID_APP_EXIT,           ID_VIEW_TOOLBAR,    ID_VIEW_STATUS_BAR,    ID_VIEW_PREVIOUS_IMAGE,
    ID_VIEW_NEXT_IMAGE,    ID_APP_ABOUT,       ID_EDIT_CREATE_MAP_BITMAP,
    ID_FILE_NEW,           ID_FILE_SAVE,       ID_EDIT_UNDO,          ID_EDIT_CUT,
    ID_EDIT_COPY,          ID_EDIT_PASTE,      ID_NEXT_PANE,          ID_PREV_PANE,
};

// Enabled in every state; the rest are listed per state.
const unsigned kAlwaysEnabled[] = {
    ID_FILE_OPEN, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, ID_APP_EXIT,
    ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_APP_ABOUT, ID_FILE_NEW,
};

using IdList = QList<unsigned>;

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString MakeFile(const QString& kind)
    {
        const QString path = m_dir.filePath("state." + kind.section(' ', 0, 0));
        if (kind == "bmp")
            WriteBytes(path, BmpFileBytes(PatternPicture(20, 10, 1)));
        else if (kind == "png")
            PatternPicture(20, 10, 2).save(path, "PNG");
        else if (kind == "bmz")
            WriteBytes(path, BmzFileBytes(BmpFileBytes(PatternPicture(20, 10, 3))));
        else if (kind == "nif one")
            WriteModel(path, {PatternTexture(16, 16, 1, 1)});
        else if (kind == "nif three")
            WriteModel(path, {PatternTexture(16, 16, 1, 1), PatternTexture(8, 4, 2, 2), PatternTexture(5, 3, 1, 3)});
        else if (kind == "nif large")   // longer than 3,000,000 bytes
            WriteModel(path, {PatternTexture(1024, 1024, 1, 1), PatternTexture(256, 256, 1, 2)});
        return path;
    }

private slots:
    void init() { ClearSettings(); }

    void enabledStateOfEachCommand_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<IdList>("alsoEnabled");
        const IdList navigation = {ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE};
        QTest::newRow("none") << QString() << IdList{};
        QTest::newRow("bmp") << "bmp" << IdList{};
        QTest::newRow("png") << "png" << IdList{};
        QTest::newRow("bmz") << "bmz" << IdList{};
        QTest::newRow("model file, one texture") << "nif one" << IdList{};
        QTest::newRow("model file, three textures") << "nif three" << navigation;
        QTest::newRow("large model file") << "nif large"
                                          << IdList{ID_VIEW_PREVIOUS_IMAGE, ID_VIEW_NEXT_IMAGE, ID_EDIT_CREATE_MAP_BITMAP};
    }

    void enabledStateOfEachCommand()
    {
        QFETCH(QString, kind);
        QFETCH(IdList, alsoEnabled);
        AppHarness app;
        if (!kind.isEmpty()) {
            app.Open(MakeFile(kind));
            QCOMPARE(app.m_ui.Texts(), std::vector<std::string>{});
            QVERIFY(app.Doc()->GetActiveImage() && app.Doc()->GetActiveImage()->GetBitmapInfo());
        }
        app.Idle();
        IdList enabled(std::begin(kAlwaysEnabled), std::end(kAlwaysEnabled));
        enabled += alsoEnabled;
        for (unsigned id : kCheckedCommands) {
            QAction* action = app.Frame()->GetAction(id);
            QVERIFY(action);
            QVERIFY2(action->isEnabled() == enabled.contains(id), qPrintable(QString::number(id)));
        }
        // The editing commands show what their own update handlers answer.
        for (unsigned id : {ID_FILE_SAVE_AS, ID_EDIT_REPLACE_IMAGE, ID_EDIT_MAKE_TRANSPARENT}) {
            CCmdUI state(id);
            RouteCommandUI({app.View(), app.Doc(), app.Frame(), &app.App()}, &state);
            QCOMPARE(app.Frame()->GetAction(id)->isEnabled(), state.m_bEnabled);
        }
        QVERIFY(app.m_ui.m_unexpected.isEmpty());
    }

    void disabledCommandDoesNotRunFromItsKey()
    {
        const QString path = MakeFile("nif one");
        AppHarness app(path.toStdString());
        app.Frame()->show();
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        // Even a call that bypasses the disabled item is refused.
        QVERIFY(!app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE));
        QVERIFY(!app.Frame()->OnCommand(ID_EDIT_CREATE_MAP_BITMAP));
        QCOMPARE(app.Doc()->m_nCurrentImage, 0u);
    }

    void compressedBitmapShowsProgressAndHoldsCommandsOff()
    {
        // Large enough for several progress steps.
        const QString path = m_dir.filePath("progress.bmz");
        const QImage picture = PatternPicture(700, 500, 5);
        WriteBytes(path, BmzFileBytes(BmpFileBytes(picture)));
        AppHarness app;
        struct Seen {
            int percent;
            bool barVisible;
            int barValue;
            bool openEnabled;
            bool newEnabled;
        };
        std::vector<Seen> seen;
        app.m_ui.m_onProgress = [&](int percent) {
            app.Frame()->ShowProgress(percent);
            QProgressBar* bar = app.Frame()->GetProgressBar();
            seen.push_back({percent, !bar->isHidden(), bar->value(),
                            app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled(),
                            app.Frame()->GetAction(ID_FILE_NEW)->isEnabled()});
        };
        app.Open(path);
        QVERIFY(seen.size() >= 3);
        for (size_t i = 0; i + 1 < seen.size(); ++i) {
            QVERIFY(seen[i].percent >= 0 && seen[i].percent <= 100);
            QVERIFY(seen[i].barVisible);
            QCOMPARE(seen[i].barValue, seen[i].percent);
            QVERIFY(!seen[i].openEnabled);
        }
        QCOMPARE(seen.back().percent, -1);
        QVERIFY(!seen.back().barVisible);
        // Done: the bar is gone, the commands are back and the image shows.
        app.Idle();
        QVERIFY(app.Frame()->GetProgressBar()->isHidden());
        QVERIFY(app.Frame()->GetAction(ID_FILE_OPEN)->isEnabled());
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: 700 * 500"));
        QCOMPARE(CompareTopLeft(app.RenderView(), picture.copy(0, 0, 400, 300)), QString());
    }

    void closingWhileBusyWaitsForTheLoad()
    {
        const QString path = m_dir.filePath("close.bmz");
        WriteBytes(path, BmzFileBytes(BmpFileBytes(PatternPicture(400, 300, 6))));
        AppHarness app;
        app.Frame()->show();
        bool closedDuringLoad = false;
        app.m_ui.m_onProgress = [&](int percent) {
            if (percent == 0 || (percent > 0 && !closedDuringLoad)) {
                app.Frame()->OnCommand(ID_APP_EXIT);
                closedDuringLoad = !app.Frame()->isVisible();
            }
        };
        app.Open(path);
        QVERIFY(!closedDuringLoad);
        QVERIFY(app.Frame()->isVisible());
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: 400 * 300"));
        // The program goes idle: now it closes.
        QTRY_VERIFY(!app.Frame()->isVisible());
    }

    void droppingAFileOpensIt()
    {
        const QString path = m_dir.filePath("dropped.nif");
        const RawTexture texture = PatternTexture(33, 17, 2, 8);
        WriteModel(path, {texture});
        AppHarness app;
        app.Frame()->show();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(200, 200);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app.Frame(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app.Frame(), &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(app.Title(), QStringLiteral("dropped.nif - Tavrel"));
        app.Idle();
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: 33 * 17"));
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
    }

    void dragsWithoutAFileAreRefused()
    {
        AppHarness app;
        QMimeData data;
        data.setText(QStringLiteral("not a file"));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QCoreApplication::sendEvent(app.Frame(), &enter);
        QVERIFY(!enter.isAccepted());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
