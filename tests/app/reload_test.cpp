// The open file read again: when another program rewrites it (by rename or in
// place), by hand with F5, not after the window's own writes; and a failed
// open that leaves the file shown before it.
#include <cstdio>

#include <QSignalSpy>

#include "AppHarness.h"
#include "app/FileWatcher.h"
#include "app/ViewerCommandIds.h"

class ReloadTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

    // Another program's new version of the model file, renamed over it.
    void Rewrite(const std::string& path, const std::vector<Tex>& textures)
    {
        const std::string name = "next-" + std::to_string(++m_nVersion) + ".nif";
        QVERIFY(std::rename(WriteModel(m_dir, name, textures).c_str(), path.c_str()) == 0);
    }
    int m_nVersion = 0;

private slots:
    void anOutsideRewriteReloadsKeepingTheShownIndexClampedAndSaysSo()
    {
        const std::string path = WriteModel(m_dir, "house.nif", {{16, 16, 1, 1}, {8, 4, 2, 2}, {5, 3, 1, 3}});
        AppHarness app(path);
        app.Frame()->OnCommand(ID_VIEW_LAST_IMAGE);
        const Tex changed{7, 6, 1, 9};
        Rewrite(path, {{16, 16, 1, 4}, {8, 4, 2, 5}, changed});
        QTRY_COMPARE_WITH_TIMEOUT(app.Panes(), QStringLiteral("Image Index: 2 | Dimensions: 7 * 6"), 10000);
        QCOMPARE(Shows(app, TextureImage(changed)), QString());
        QCOMPARE(app.Frame()->GetMessagePane()->text(),
            QStringLiteral("house.nif was changed by another program and has been reloaded"));
        QCOMPARE(app.Title(), QStringLiteral("house.nif - Tavrel"));
        // Fewer textures now: the last one is shown. Written in place this time.
        WriteFileBytes(path, ReadFileBytes(WriteModel(m_dir, "two.nif", {{16, 16, 1, 4}, {9, 2, 1, 8}})));
        QTRY_COMPARE_WITH_TIMEOUT(app.Panes(), QStringLiteral("Image Index: 1 | Dimensions: 9 * 2"), 10000);
        QCOMPARE(app.Frame()->GetTextureList()->model()->rowCount(), 2);
        QVERIFY(app.m_ui.Texts().empty());
    }

    void f5ReadsTheFileAgainAndTheWindowsOwnWritesAreNoChange()
    {
        const std::string path = WriteModel(m_dir, "own.nif", {{16, 16, 2, 1}, {8, 4, 2, 2}});
        AppHarness app(path);
        CFileWatcher* watcher = app.Frame()->GetFileWatcher();
        QSignalSpy changes(watcher, &CFileWatcher::Changed);
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        WriteFileBytes(path, ReadFileBytes(WriteModel(m_dir, "other.nif", {{16, 16, 2, 1}, {4, 4, 1, 3}})));
        QTest::keyClick(app.Frame(), Qt::Key_F5);
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: 1 | Dimensions: 4 * 4"));
        QCOMPARE(Shows(app, TextureImage({4, 4, 1, 3})), QString());
        // Make Transparent writes and reads back: the watcher finds the version the window knows.
        app.m_ui.AnswerNext(IDNO);  // no backup
        app.m_ui.ChooseAlpha(0);
        app.Frame()->OnCommand(ID_VIEW_FIRST_IMAGE);
        QVERIFY(app.Frame()->OnCommand(ID_EDIT_MAKE_TRANSPARENT));
        watcher->Check();
        QCOMPARE(changes.count(), 0);
        QVERIFY(app.Frame()->GetMessagePane()->text() !=
            QStringLiteral("own.nif was changed by another program and has been reloaded"));
    }

    void aFailedOpenLeavesThePreviousFileShown()
    {
        const std::vector<Tex> textures = {{16, 16, 1, 1}, {8, 4, 2, 2}};
        AppHarness app(WriteModel(m_dir, "kept.nif", textures));
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        WriteFileBytes(m_dir.File("empty.nif"), std::vector<uint8_t>(64, 'x'));
        WriteFileBytes(m_dir.File("broken.png"), std::vector<uint8_t>(64, 'x'));
        for (const char* name : {"missing.nif", "empty.nif", "broken.png", "missing.bmz"}) {
            const size_t messages = app.m_ui.Texts().size();
            app.Open(m_dir.File(name));
            QVERIFY2(app.m_ui.Texts().size() == messages + 1, name);
            QVERIFY2(app.Title() == "kept.nif - Tavrel", name);
            QVERIFY2(app.Panes() == "Image Index: 1 | Dimensions: 8 * 4", name);
            QVERIFY2(Shows(app, TextureImage(textures[1])).isEmpty(), name);
            QVERIFY2(app.Frame()->GetTextureList()->model()->rowCount() == 2, name);
        }
        QCOMPARE(app.Frame()->GetFileWatcher()->GetPath(), QString::fromStdString(m_dir.File("kept.nif")));
    }
};

QTEST_MAIN(ReloadTest)
#include "reload_test.moc"
