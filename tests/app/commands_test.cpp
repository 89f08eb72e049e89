// Which commands are offered in each state of the document, the progress and
// hold-off while a compressed bitmap loads, and opening by drag and drop.
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include "AppHarness.h"

using IdList = QList<unsigned>;

class CommandsTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void init() { ClearSettings(); }

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

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
