// The image view: the drawn pixels of every depth against the record's own,
// drawing in place, stepping through textures, the scroll area, the status
// panes, and records that are gone or damaged.
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>

#include <cstring>
#include <memory>

#include "AppHarness.h"
#include "TestFiles.h"
#include "app/DibPainter.h"
#include "doc/CommandIds.h"

namespace {

struct RecordSpec {
    int width;
    int height;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t masks[3];
    uint32_t paletteEntries;
};

// A record laid out as the readers leave one: header, colour table or masks,
// bottom-up rows; the pixel bytes are random.
std::unique_ptr<CDibImage> MakeRecord(const RecordSpec& spec, uint32_t seed)
{
    auto dib = std::make_unique<CDibImage>(0, 0, uint16_t(24));
    const uint32_t table = spec.compression == BI_BITFIELDS ? 12 : 4 * spec.paletteEntries;
    const uint64_t stride = DibStride(uint64_t(spec.width), spec.bitCount);
    uint8_t* block = dib->AllocateBlock(40 + table + stride * uint64_t(spec.height));
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = spec.width;
    header.biHeight = spec.height;
    header.biPlanes = 1;
    header.biBitCount = spec.bitCount;
    header.biCompression = spec.compression;
    header.biSizeImage = uint32_t(stride * uint64_t(spec.height));
    header.biClrUsed = spec.paletteEntries;
    std::memcpy(block, &header, 40);
    QRandomGenerator random(seed);
    if (spec.compression == BI_BITFIELDS)
        std::memcpy(block + 40, spec.masks, 12);
    for (uint32_t i = 0; i < spec.paletteEntries; ++i) {
        const uint32_t colour = random.generate() & 0x00FFFFFF;   // reserved byte 0
        std::memcpy(block + 40 + 4 * i, &colour, 4);
    }
    uint8_t* bits = block + 40 + table;
    for (uint64_t i = 0; i < stride * uint64_t(spec.height); ++i)
        bits[i] = uint8_t(random.generate());
    dib->DeriveLayout(table, spec.paletteEntries);
    return dib;
}

uint8_t Widen(uint32_t value, unsigned bits, bool replicate)
{
    if (bits >= 8)
        return uint8_t(value >> (bits - 8));
    const uint32_t up = value << (8 - bits);
    return uint8_t(replicate ? up | (up >> bits) : up);
}

uint8_t Field(uint32_t pixel, uint32_t mask, bool replicate)
{
    unsigned shift = 0;
    while (!(mask >> shift & 1))
        ++shift;
    unsigned bits = 0;
    while (mask >> (shift + bits) & 1)
        ++bits;
    return Widen((pixel & mask) >> shift, bits, replicate);
}

// What the screen must show for a record, worked out from its bytes alone.
// Layouts Qt has widen 5 and 6-bit fields by repeating their high bits; the
// other layouts are converted by shifting them up.
QImage Expected(const RecordSpec& spec, const CDibImage& dib, bool replicate)
{
    QImage image(spec.width, spec.height, QImage::Format_RGB32);
    const uint8_t* colours = reinterpret_cast<const uint8_t*>(dib.GetColorTable());
    for (int y = 0; y < spec.height; ++y) {
        const uint8_t* row = dib.GetBits() + uint64_t(dib.GetStride()) * uint64_t(spec.height - 1 - y);
        for (int x = 0; x < spec.width; ++x) {
            QRgb c = 0;
            switch (spec.bitCount) {
            case 1:
            case 4:
            case 8: {
                const unsigned bits = spec.bitCount;
                const unsigned perByte = 8 / bits;
                const unsigned index = row[x / perByte] >> (8 - bits * (x % perByte + 1)) & ((1u << bits) - 1);
                c = index < spec.paletteEntries
                        ? qRgb(colours[4 * index + 2], colours[4 * index + 1], colours[4 * index])
                        : qRgb(0, 0, 0);
                break;
            }
            case 16: {
                const uint32_t v = row[2 * x] | uint32_t(row[2 * x + 1]) << 8;
                const uint32_t* m = spec.masks;
                c = qRgb(Field(v, m[0], replicate), Field(v, m[1], replicate), Field(v, m[2], replicate));
                break;
            }
            case 24: c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
            case 32: {
                uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);
                c = qRgb(Field(v, spec.masks[0], true), Field(v, spec.masks[1], true), Field(v, spec.masks[2], true));
                break;
            }
            }
            image.setPixel(x, y, c);
        }
    }
    return image;
}

}  // namespace

Q_DECLARE_METATYPE(RecordSpec)

class ViewTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // Puts a record into the document as an opened bitmap and tells the views.
    static void Show(AppHarness& app, std::unique_ptr<CDibImage> dib)
    {
        app.Doc()->m_pBmpImage = std::move(dib);
        app.Doc()->m_nFileKind = kFileKindBmp;
        app.Doc()->UpdateAllViews();
        app.Idle();
    }

private slots:
    void init() { ClearSettings(); }

    void drawsEveryDepthPixelForPixel_data()
    {
        QTest::addColumn<RecordSpec>("spec");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("replicate");
        QTest::newRow("1-bit palette") << RecordSpec{37, 11, 1, BI_RGB, {}, 2} << true << true;
        QTest::newRow("4-bit palette") << RecordSpec{35, 12, 4, BI_RGB, {}, 16} << false << true;
        QTest::newRow("8-bit palette") << RecordSpec{33, 14, 8, BI_RGB, {}, 256} << true << true;
        QTest::newRow("8-bit short palette") << RecordSpec{31, 9, 8, BI_RGB, {}, 10} << true << true;
        QTest::newRow("16-bit 5-5-5") << RecordSpec{29, 13, 16, BI_RGB, {0x7C00, 0x03E0, 0x001F}, 0} << true << true;
        QTest::newRow("16-bit 5-6-5 fields") << RecordSpec{27, 8, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0}
                                             << true << true;
        QTest::newRow("16-bit 4-4-4 fields") << RecordSpec{25, 10, 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, 0}
                                             << false << false;
        QTest::newRow("24-bit, odd width") << RecordSpec{23, 15, 24, BI_RGB, {}, 0} << true << true;
        QTest::newRow("32-bit, any fourth byte") << RecordSpec{21, 16, 32, BI_RGB, {0xFF0000, 0xFF00, 0xFF}, 0}
                                                 << true << true;
        QTest::newRow("32-bit standard fields")
            << RecordSpec{19, 7, 32, BI_BITFIELDS, {0xFF0000, 0xFF00, 0xFF}, 0} << true << true;
        QTest::newRow("32-bit swapped fields")
            << RecordSpec{17, 6, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, 0} << false << true;
    }

    void drawsEveryDepthPixelForPixel()
    {
        QFETCH(RecordSpec, spec);
        QFETCH(bool, inPlace);
        QFETCH(bool, replicate);
        AppHarness app;
        std::unique_ptr<CDibImage> dib = MakeRecord(spec, 1234);
        const QImage expected = Expected(spec, *dib, replicate);
        const DibPicture picture = WrapDib(*dib);
        // The layouts Qt has are drawn from the record's own memory.
        QCOMPARE(picture.image.constBits() == dib->GetBits(), inPlace);
        Show(app, std::move(dib));

        const QImage screen = app.RenderView();
        QCOMPARE(CompareTopLeft(screen, expected), QString());
        // Around the image: the background.
        const QRgb background = screen.pixel(screen.width() - 1, screen.height() - 1);
        QCOMPARE(screen.pixel(spec.width, 0), background);
        QCOMPARE(screen.pixel(0, spec.height), background);
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS),
                 QStringLiteral("Dimensions: %1 * %2").arg(spec.width).arg(spec.height));
    }

    void thirtyTwoBitImagesAreOpaqueOnSurfacesWithAlpha()
    {
        const RecordSpec spec{21, 16, 32, BI_RGB, {0xFF0000, 0xFF00, 0xFF}, 0};
        std::unique_ptr<CDibImage> dib = MakeRecord(spec, 77);
        const QImage expected = Expected(spec, *dib, true);
        for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32,
                                      QImage::Format_RGB32}) {
            QImage surface(30, 20, format);
            surface.fill(Qt::white);
            {
                QPainter painter(&surface);
                DrawDib(painter, *dib);
            }
            for (int y = 0; y < spec.height; ++y)
                for (int x = 0; x < spec.width; ++x)
                    QCOMPARE(surface.pixel(x, y), expected.pixel(x, y) | 0xFF000000u);
            QCOMPARE(surface.pixel(spec.width, 0), qRgb(255, 255, 255));
        }
    }

    void modelTexturesShowAsStored_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("format");
        QTest::newRow("RGB, rows padded") << 75 << 50 << 1;
        QTest::newRow("RGB, one row") << 9 << 1 << 1;
        QTest::newRow("RGBA") << 64 << 33 << 2;
    }

    void modelTexturesShowAsStored()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, format);
        const QString path = m_dir.filePath("texture.nif");
        const RawTexture texture = PatternTexture(uint32_t(width), uint32_t(height), uint32_t(format), 3);
        WriteModel(path, {texture});
        AppHarness app;
        app.Open(path);
        QCOMPARE(CompareTopLeft(app.RenderView(), TextureImage(texture)), QString());
        QCOMPARE(app.View()->GetTotalSize(), QSize(width, height));
    }

    void nextAndPreviousUpdateImageScrollAreaAndPanes()
    {
        const QString path = m_dir.filePath("three.nif");
        const std::vector<RawTexture> textures = {PatternTexture(64, 48, 1, 1), PatternTexture(120, 30, 2, 2),
                                                  PatternTexture(20, 90, 1, 3)};
        WriteModel(path, textures);
        AppHarness app;
        app.Open(path);
        // Next three times wraps round to the first; Previous from the first goes to the last.
        const struct {
            unsigned command;
            unsigned index;
        } steps[] = {{ID_VIEW_NEXT_IMAGE, 1}, {ID_VIEW_NEXT_IMAGE, 2}, {ID_VIEW_NEXT_IMAGE, 0},
                     {ID_VIEW_PREVIOUS_IMAGE, 2}, {ID_VIEW_PREVIOUS_IMAGE, 1}};
        for (const auto& step : steps) {
            QVERIFY(app.Frame()->OnCommand(step.command));
            app.Idle();
            const RawTexture& t = textures[step.index];
            QCOMPARE(app.Doc()->m_nCurrentImage, step.index);
            QCOMPARE(app.PaneText(ID_INDICATOR_IMAGE_INDEX), QStringLiteral("Image Index: %1").arg(step.index));
            QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS),
                     QStringLiteral("Dimensions: %1 * %2").arg(t.width).arg(t.height));
            QCOMPARE(app.View()->GetTotalSize(), QSize(int(t.width), int(t.height)));
            const QImage screen = app.RenderView();
            QCOMPARE(CompareTopLeft(screen, TextureImage(t)), QString());
            // Nothing of a larger texture before it is left on the screen.
            QCOMPARE(screen.pixel(int(t.width), 0), screen.pixel(screen.width() - 1, screen.height() - 1));
        }
    }

    void panesKeepTheirTextsWhenNoImageIsLeft()
    {
        const QString model = m_dir.filePath("kept.nif");
        WriteModel(model, {PatternTexture(50, 40, 1, 1), PatternTexture(10, 10, 1, 2)});
        const QString broken = m_dir.filePath("broken.bmp");
        WriteBytes(broken, {'B', 'M', 1, 2, 3});
        AppHarness app;
        app.Open(model);
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        app.Idle();
        app.Open(broken);
        QCOMPARE(app.m_ui.m_messages.size(), size_t(1));   // the reader's own message
        QCOMPARE(app.Title(), QStringLiteral("broken.bmp - Tavrel"));
        QCOMPARE(app.PaneText(ID_INDICATOR_IMAGE_INDEX), QStringLiteral("Image Index: 1"));
        QCOMPARE(app.PaneText(ID_INDICATOR_DIMENSIONS), QStringLiteral("Dimensions: 10 * 10"));
        const QImage screen = app.RenderView();
        const QRgb background = screen.pixel(screen.width() - 1, screen.height() - 1);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x)
                QCOMPARE(screen.pixel(x, y), background);
    }

    void scrollBarsAppearWhenTheWindowIsSmaller()
    {
        const QString path = m_dir.filePath("wide.nif");
        const RawTexture texture = PatternTexture(600, 400, 1, 5);
        WriteModel(path, {texture});
        AppHarness app;
        app.Frame()->show();
        app.Open(path);
        app.Frame()->resize(320, 260);
        QTRY_VERIFY(app.View()->horizontalScrollBar()->isVisible());
        QVERIFY(app.View()->verticalScrollBar()->isVisible());
        const QSize page = app.View()->viewport()->size();
        QCOMPARE(app.View()->horizontalScrollBar()->maximum(), 600 - page.width());
        QCOMPARE(app.View()->verticalScrollBar()->maximum(), 400 - page.height());

        app.View()->horizontalScrollBar()->setValue(50);
        app.View()->verticalScrollBar()->setValue(30);
        const QImage expected = TextureImage(texture).copy(50, 30, page.width(), page.height());
        QCOMPARE(CompareTopLeft(app.RenderView(), expected), QString());

        app.Frame()->resize(900, 700);
        QTRY_VERIFY(!app.View()->horizontalScrollBar()->isVisible());
    }

    void releasedRecordIsNeverDrawn()
    {
        const QString path = m_dir.filePath("gone.nif");
        WriteModel(path, {PatternTexture(30, 30, 2, 1)});
        AppHarness app;
        app.Open(path);
        // A command releases the records; a repaint comes before its update.
        app.Doc()->ReleaseRawImages();
        const QImage screen = app.RenderView();
        QCOMPARE(screen.pixel(5, 5), screen.pixel(screen.width() - 1, screen.height() - 1));
    }

    void damagedRecordDrawsNothing()
    {
        AppHarness app;
        std::unique_ptr<CDibImage> dib = MakeRecord({16, 16, 24, BI_RGB, {}, 0}, 5);
        // The header claims more rows than the block holds.
        dib->m_pInfoHeader->biHeight = 5000;
        CDibImage* raw = dib.get();
        Show(app, std::move(dib));
        QVERIFY(WrapDib(*raw).image.isNull());
        const QImage screen = app.RenderView();
        QCOMPARE(screen.pixel(3, 3), screen.pixel(screen.width() - 1, screen.height() - 1));
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
