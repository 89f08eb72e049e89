// Create Map Bitmap: the Map Maker dialog driven through its controls, the
// save dialog it asks for, and the map file as a picture.

#include <array>
#include <filesystem>
#include <functional>

#include "AppHarness.h"
#include "app/MapMakerDlg.h"

namespace {

using Cells = std::array<int, 16>;  // the tile each cell shows
constexpr Cells kStart = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// A texture that is no tile, then 17 tiles.
const std::vector<Tex> kTextures = [] {
    std::vector<Tex> textures = {{512, 512, 1, 1}};
    for (int i = 0; i < 17; ++i)
        textures.push_back({256, 256, i % 3 ? 1u : 2u, uint8_t(10 + 9 * i)});
    return textures;
}();

// The cells at the given scale: 256 pixels a tile for the map, 128 for the preview.
QImage Picture(const Cells& cells, int tile)
{
    QImage picture(4 * tile, 4 * tile, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int n = 0; n < 16; ++n)
        painter.drawImage(tile * (n % 4), tile * (n / 4),
            TextureImage(kTextures[size_t(1 + cells[size_t(n)])])
                .scaled(tile, tile, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return picture;
}

// Runs the command; `drive` gets the dialog at each showing (counted from 1), and whatever it leaves open is
// cancelled, so a failed check never leaves a modal loop waiting. Returns the number of showings.
int RunCommand(AppHarness& app, const std::function<void(CMapMakerDlg*, int)>& drive)
{
    int shown = 0;
    QTimer timer;  // gone with this call: it drives the dialog only inside its loop
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<CMapMakerDlg*>(QApplication::activeModalWidget())) {
            drive(dialog, ++shown);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    timer.start(20);
    app.Frame()->OnCommand(ID_EDIT_CREATE_MAP_BITMAP);
    return shown;
}

// The picture with each cell's marks (index box and outline) blacked out.
QImage Unmarked(QImage picture)
{
    QPainter painter(&picture);
    const int edge = CMapMakerDlg::kOutlineWidth;
    for (int n = 0; n < 16; ++n) {
        const QRect cell(128 * (n % 4), 128 * (n / 4), 128, 128);
        painter.fillRect(
            QRect(cell.topLeft(), QSize(CMapMakerDlg::kLabelWidth, CMapMakerDlg::kLabelHeight)), Qt::black);
        for (const QRect& side :
            {QRect(cell.left(), cell.top(), 128, edge), QRect(cell.left(), cell.bottom() - edge + 1, 128, edge),
                QRect(cell.left(), cell.top(), edge, 128), QRect(cell.right() - edge + 1, cell.top(), edge, 128)})
            painter.fillRect(side, Qt::black);
    }
    return picture;
}

QImage Preview(CMapMakerDlg* dialog)
{
    return Unmarked(dialog->findChild<QWidget*>("MapPreview")->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

QImage Tiles(const Cells& cells)
{
    return Unmarked(Picture(cells, 128));
}

}  // namespace

class MapMakerTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void dialogTogglesCellsCancelsWithoutWritingAndSavesWhereTheUserChose()
    {
        AppHarness app(WriteModel(m_dir, "tiles.nif", kTextures));
        Cells cells = kStart;
        QCOMPARE(RunCommand(app,
                     [&](CMapMakerDlg* dialog, int) {
                         auto* spin = dialog->findChild<QSpinBox*>("MapCellNumber");
                         QCOMPARE(Preview(dialog), Tiles(cells));
                         // Cell 5 is row 1, column 1; the text "abc" counts as 0; -1 and 16 change nothing.
                         for (const auto& [text, cell] :
                             {std::pair<QString, int>{"5", 5}, {"abc", 0}, {"-1", -1}, {"16", -1}}) {
                             spin->findChild<QLineEdit*>()->setText(text);
                             dialog->findChild<QPushButton*>("MapToggle")->click();
                             if (cell >= 0)
                                 ++cells[size_t(cell)];
                             QVERIFY2(Preview(dialog) == Tiles(cells), qPrintable(text));
                         }
                         // A click on a tile puts its cell in the box.
                         QTest::mouseClick(
                             dialog->findChild<QWidget*>("MapPreview"), Qt::LeftButton, {}, QPoint(300, 400));
                         QCOMPARE(spin->value(), 14);
                         dialog->findChild<QPushButton*>("MapCancel")->click();
                     }),
            1);
        QVERIFY(app.m_ui.m_dialogs.empty() && app.m_ui.Texts().empty());
        QCOMPARE(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1);

        // The next run starts afresh; its map goes where the save dialog says, a name typed without an extension
        // getting ".bmp".
        const std::string out = m_dir.File("chosen.bmp");
        app.m_ui.ChooseFile(m_dir.File("chosen"));
        QCOMPARE(RunCommand(app,
                     [](CMapMakerDlg* dialog, int) {
                         dialog->findChild<QSpinBox*>("MapCellNumber")->setValue(15);
                         dialog->findChild<QPushButton*>("MapToggle")->click();
                         dialog->findChild<QPushButton*>("MapSave")->click();
                     }),
            1);
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(1));
        QVERIFY(!app.m_ui.m_dialogs[0].bOpen && (app.m_ui.m_dialogs[0].nFlags & OFN_OVERWRITEPROMPT));
        QCOMPARE(app.m_ui.m_dialogs[0].strInitialDir, m_dir.Path() + '/');
        cells = kStart;
        cells[15] = 0;  // round past the 16th tile: a 17th is never used
        QCOMPARE(QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32), Picture(cells, 256));
    }

    void enterSelectsTheCellTypedAndACancelledSaveReturnsToTheArrangement()
    {
        AppHarness app(WriteModel(m_dir, "enter.nif", kTextures));
        app.m_ui.CancelNextDialog();
        QCOMPARE(RunCommand(app,
                     [](CMapMakerDlg* dialog, int shown) {
                         auto* spin = dialog->findChild<QSpinBox*>("MapCellNumber");
                         if (shown == 1) {
                             spin->setFocus();
                             spin->findChild<QLineEdit*>()->setText("6");
                             QTest::keyClick(spin, Qt::Key_Return);
                             QVERIFY(dialog->isVisible() && dialog->GetSelectedCell() == 6);
                             // The preview marks the selected cell; each cell names its texture (the first is no tile).
                             const QImage preview = dialog->findChild<QWidget*>("MapPreview")->grab().toImage();
                             QCOMPARE(preview.pixelColor(128 * 2 + 64, 128 + 1), QColor(255, 200, 0));
                             QVERIFY(preview.pixelColor(64, 1) != QColor(255, 200, 0));
                             dialog->findChild<QPushButton*>("MapToggle")->click();
                             dialog->findChild<QPushButton*>("MapSave")->click();  // the save dialog is cancelled
                         } else {
                             Cells cells = kStart;
                             cells[6] = 7;
                             QCOMPARE(Preview(dialog), Tiles(cells));
                         }
                     }),
            2);
        QCOMPARE(app.m_ui.m_dialogs.size(), size_t(1));
    }
};

QTEST_MAIN(MapMakerTest)
#include "map_maker_test.moc"
