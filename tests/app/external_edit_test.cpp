// Edit Externally through the real window: the "editor" is a shell script that
// saves by rename, as image editors do. Each row a save; an accepted one is in
// the model file and can be undone and redone byte for byte.
#include <fstream>

#include "AppHarness.h"
#include "PngFiles.h"
#include "app/EditHistory.h"
#include "app/ExternalEdits.h"
#include "app/FileWatcher.h"
#include "app/ViewerCommandIds.h"
#include "doc/DocTexts.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An 8-bit RGB(A) PNG of block pixels (top row first, red first).
Bytes PngOf(const Bytes& pixels, uint32_t width, uint32_t height, bool alpha)
{
    PngImage png{.width = width, .height = height, .colorType = alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB};
    const size_t row = size_t{width} * (alpha ? 4 : 3);
    for (uint32_t r = 0; r < height; ++r)
        png.rows.emplace_back(pixels.begin() + r * row, pixels.begin() + (r + 1) * row);
    return EncodePng(png);
}

struct Row {
    const char* name;
    Tex texture;  // texture 1 of three
    Tex save;  // what the editor saves (its format 1: an RGB PNG, 2: RGBA)
    const char* refusal;  // empty: written
};
// An RGB save over an RGBA texture, which keeps its alpha; an RGBA save; a wrong size, refused.
const Row kRows[] = {
    {"keep", {8, 4, 2, 2}, {8, 4, 1, 8}, ""},
    {"rgba", {8, 4, 2, 2}, {8, 4, 2, 9}, ""},
    {"size", {8, 4, 1, 2}, {9, 4, 1, 7}, kDimensionsDiffer},
};

}  // namespace

class ExternalEditTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void savesGoInAndUndoAndRedoRestoreTheBytes_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kRows)); ++row)
            QTest::newRow(kRows[row].name) << row;
    }
    void savesGoInAndUndoAndRedoRestoreTheBytes()
    {
        QFETCH(int, row);
        const Row& r = kRows[row];
        const std::string path =
            WriteModel(m_dir, std::string(r.name) + ".nif", {{16, 16, 1, 1}, r.texture, {5, 3, 1, 3}});
        const Bytes original = ReadFileBytes(path);
        const Bytes saved = NifBuilder::PatternPixels(r.save.width, r.save.height, r.save.format, r.save.seed);
        const std::string prepared = m_dir.File(std::string(r.name) + "-saved.png");
        WriteFileBytes(prepared, PngOf(saved, r.save.width, r.save.height, r.save.format == 2));
        // The editor writes a new file beside the working file and renames it over.
        const std::string script = m_dir.File("editor.sh");
        std::ofstream(script) << "cp \"$1\" \"$2.part\" && mv \"$2.part\" \"$2\"\n";
        qputenv("TAVREL_IMAGE_EDITOR", QByteArray("sh \"") + script.c_str() + "\" \"" + prepared.c_str() + "\"");

        AppHarness app(path);
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        app.m_ui.AnswerNext(IDNO);  // no backup
        QTest::keyClick(app.Frame(), Qt::Key_E, Qt::ControlModifier);
        const size_t asked = app.m_ui.Texts().size();  // the backup question
        QCOMPARE(asked, size_t{1});
        const QString work = app.Frame()->GetExternalEdits()->WorkingFile(1);
        QVERIFY(work.endsWith(QStringLiteral("/%1-001.png").arg(r.name)));
        if (*r.refusal) {
            QTRY_VERIFY_WITH_TIMEOUT(app.m_ui.Texts().size() > asked, 10000);
            QCOMPARE(QString::fromStdString(app.m_ui.Texts().back()), QString::fromLatin1(r.refusal));
            QCOMPARE(ReadFileBytes(path), original);
            QCOMPARE(app.Frame()->GetEditHistory()->Count(), 0);
            return;
        }
        // The texture holds the save's pixels; an RGB save over an RGBA texture keeps its alpha.
        Bytes pixels = saved;
        if (r.save.format == 1 && r.texture.format == 2) {
            pixels = NifBuilder::PatternPixels(r.texture.width, r.texture.height, 2, r.texture.seed);
            for (size_t p = 0; p < size_t{r.texture.width} * r.texture.height; ++p)
                std::copy_n(saved.begin() + p * 3, 3, pixels.begin() + p * 4);
        }
        const uint64_t offset = app.Doc()->GetRawImageOffsets()[1];
        const Bytes edited = NifBuilder::Spliced(original, offset,
            uint64_t{r.texture.width} * r.texture.height * NifBuilder::BytesPerPixel(r.texture.format), r.save.width,
            r.save.height, r.texture.format, pixels);
        QTRY_VERIFY_WITH_TIMEOUT(ReadFileBytes(path) == edited, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(app.Frame()->GetMessagePane()->text(),
            QStringLiteral("Texture 1 updated from %1-001.png").arg(r.name), 10000);
        QCOMPARE(app.Doc()->GetCurrentIndex(), 1u);
        QCOMPARE(app.m_ui.Texts().size(), asked);

        app.Idle();
        QCOMPARE(
            app.Frame()->GetAction(ID_EDIT_UNDO)->text(), QStringLiteral("&Undo Edit Texture 1 Externally\tCtrl+Z"));
        QTest::keyClick(app.Frame(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ReadFileBytes(path), original);
        QCOMPARE(app.Doc()->GetCurrentIndex(), 1u);
        QTest::keyClick(app.Frame(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ReadFileBytes(path), edited);
        // The window's own restores are no outside change; another program's is, and ends the history.
        QTest::qWait(3 * CFileWatcher::kSettleMs);
        QCOMPARE(app.Frame()->GetEditHistory()->Count(), 1);
        Bytes outside = edited;
        outside.back() ^= 0xFF;
        WriteFileBytes(path, outside);
        QTRY_COMPARE_WITH_TIMEOUT(app.Frame()->GetEditHistory()->Count(), 0, 10000);
        QTest::keyClick(app.Frame(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ReadFileBytes(path), outside);
        QCOMPARE(app.m_ui.Texts().size(), asked);
        // Closing the file takes the working file with it.
        app.Open(WriteModel(m_dir, "other.nif", {{4, 4, 1, 1}}));
        QVERIFY(!QFileInfo::exists(work));
    }
};

QTEST_MAIN(ExternalEditTest)
#include "external_edit_test.moc"
