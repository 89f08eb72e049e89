// The Files dock over a generated tree (nested folders, a compressed bitmap, a
// file of another kind): its rows, the filter by name, size and depth, opening
// a row; and Export Folder mirroring the tree, with one question before
// replacing files that differ.

#include <filesystem>
#include <fstream>

#include "AppHarness.h"
#include "app/FolderDock.h"
#include "app/ViewerCommandIds.h"

namespace {

// The rows as the tree shows them, each indented below its folder: name, textures, size, bits.
QStringList Rows(const QAbstractItemModel* model, const QModelIndex& parent = {}, const QString& indent = {})
{
    QStringList rows;
    for (int r = 0; r < model->rowCount(parent); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(parent); ++c)
            cells << model->index(r, c, parent).data().toString();
        rows << indent + cells.join(' ').trimmed();
        rows << Rows(model, model->index(r, 0, parent), indent + "  ");
    }
    return rows;
}

}  // namespace

class FolderDockTest : public QObject {
    Q_OBJECT
    TempDir m_dir;
    std::string m_root;
    const std::vector<Tex> m_top = {{256, 256, 2, 1}, {16, 8, 1, 2}};
    const std::vector<Tex> m_leaf = {{4, 4, 1, 3}, {256, 256, 1, 4}, {2, 2, 2, 5}};

    void ShowTree(AppHarness& app)
    {
        app.m_ui.ChooseFile(m_root);
        app.Frame()->OnCommand(ID_FILE_OPEN_FOLDER);
        CFolderDock* dock = app.Frame()->GetFolderDock();
        QTRY_COMPARE_WITH_TIMEOUT(dock->StatusLabel()->text(), QStringLiteral("4 files"), 30000);
    }

private slots:
    void initTestCase()
    {
        m_root = m_dir.File("game");
        for (const char* folder : {"game/sub/deep", "game/empty"})
            std::filesystem::create_directories(m_dir.File(folder));
        const TempDir& dir = m_dir;
        WriteModel(dir, "game/top.nif", m_top);
        WriteModel(dir, "game/sub/inner.nif", {{8, 8, 1, 6}});
        WriteModel(dir, "game/sub/deep/leaf.nif", m_leaf);
        const std::vector<uint8_t> bmz = BmzBytes(QImage(6, 5, QImage::Format_RGB32));
        std::ofstream(m_dir.File("game/sub/pic.bmz"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bmz.data()), std::streamsize(bmz.size()));
        std::ofstream(m_dir.File("game/notes.txt")) << "not a texture file\n";
    }

    void theDockListsTheTreeFiltersAndOpensARow()
    {
        AppHarness app;
        ShowTree(app);
        CFolderDock* dock = app.Frame()->GetFolderDock();
        QVERIFY(dock->isVisible());
        const QAbstractItemModel* model = dock->Tree()->model();
        const QStringList all = {"sub", "  deep", "    leaf.nif 3 4x4 24", "  inner.nif 1 8x8 24", "  pic.bmz 1 6x5 24",
            "top.nif 2 256x256 32"};
        QCOMPARE(Rows(model), all);

        // Any texture of a file counts: leaf.nif's second is 256x256 and its third is 32 bits.
        const std::pair<const char*, QStringList> filters[] = {
            {"INNER", {"sub", "  inner.nif 1 8x8 24"}},
            {"256x256", {"sub", "  deep", "    leaf.nif 3 4x4 24", "top.nif 2 256x256 32"}},
            {"32", {"sub", "  deep", "    leaf.nif 3 4x4 24", "top.nif 2 256x256 32"}},
            {"6 x 5", {"sub", "  pic.bmz 1 6x5 24"}},
            {"", all},
        };
        for (const auto& [text, rows] : filters) {
            dock->FilterBox()->setText(text);
            QCOMPARE(Rows(model), rows);
        }

        // Choosing a row opens its file in the window.
        dock->FilterBox()->setText("inner");
        const QModelIndex inner = model->index(0, 0, model->index(0, 0));
        emit dock->Tree()->activated(inner);
        QTRY_COMPARE(app.Doc()->GetFilePath(), m_dir.File("game/sub/inner.nif"));
        QCOMPARE(app.Panes(), QStringLiteral("Image Index: 0 | Dimensions: 8 * 8"));
        QCOMPARE(QSettings().value("FolderDock/Folder").toString(), QString::fromStdString(m_root));
    }

    void exportFolderMirrorsTheTreeAndAsksOnceBeforeReplacing()
    {
        AppHarness app;
        const std::string out = m_dir.File("out");
        const auto exportFolder = [&] {
            app.m_ui.ChooseFile(m_root);
            app.m_ui.ChooseFile(out);
            app.Frame()->OnCommand(ID_FILE_EXPORT_FOLDER);
            return app.m_ui.m_messages.back().text;
        };
        QVERIFY(QString::fromStdString(exportFolder()).contains("4 files: 4 exported; 7 textures"));

        // An edited export is replaced only after the one question.
        const QString edited = QString::fromStdString(out + "/sub/deep/leaf-001.png");
        QImage(3, 3, QImage::Format_RGB32).save(edited);
        app.m_ui.AnswerNext(IDYES);
        exportFolder();
        QCOMPARE(QImage(edited).convertToFormat(QImage::Format_RGB32), TextureImage(m_leaf[1]));
        const auto asked = std::count_if(app.m_ui.m_messages.begin(), app.m_ui.m_messages.end(),
            [](const ScriptedUi::Message& m) { return m.text.find("Overwrite them?") != std::string::npos; });
        QCOMPARE(asked, 1);
    }
};

QTEST_MAIN(FolderDockTest)
#include "folder_dock_test.moc"
