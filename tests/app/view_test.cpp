// The image view: the drawn pixels of every depth against the record's own,
// a damaged record, zoom, transparency and copy, and printing.
#include <QPrinter>

#include <bit>
#include <cstring>
#include <filesystem>

#include "AppHarness.h"
#include "BmpBuilder.h"
#include "DibBuilder.h"
#include "app/DibPainter.h"
#include "app/ViewerCommandIds.h"

namespace {

struct RecordLayout {
    const char* name;
    int width, height;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t masks[3];
    uint32_t paletteEntries;
    bool replicate;  // Qt widens 5 and 6-bit fields by repeating their high bits; converted layouts shift
};

// A record laid out as the readers leave one: header, colour table or masks,
// bottom-up rows; the colours (reserved byte 0) and pixel bytes are random.
std::unique_ptr<CDibImage> MakeRecord(const RecordLayout& layout)
{
    const uint32_t table = layout.compression == BI_BITFIELDS ? 12 : 4 * layout.paletteEntries;
    const uint64_t bytes = DibStride(uint64_t(layout.width), layout.bitCount) * uint64_t(layout.height);
    const BITMAPINFOHEADER header{40, layout.width, layout.height, 1, layout.bitCount, layout.compression,
        uint32_t(bytes), 0, 0, layout.paletteEntries, 0};
    std::vector<uint8_t> colours(table), rows(bytes);
    if (layout.compression == BI_BITFIELDS)
        std::memcpy(colours.data(), layout.masks, 12);
    QRandomGenerator random(1234);
    for (uint64_t i = layout.compression == BI_BITFIELDS ? table : 0; i < table + bytes; ++i) {
        const uint8_t value = i < table && i % 4 == 3 ? 0 : uint8_t(random.generate());
        (i < table ? colours[i] : rows[i - table]) = value;
    }
    return DibBuilder::FromParts(header, colours, layout.paletteEntries, rows);
}

// What the screen must show for a record, worked out from its bytes alone.
QImage Expected(const RecordLayout& layout, const CDibImage& dib)
{
    QImage image(layout.width, layout.height, QImage::Format_ARGB32);
    const auto* colours = reinterpret_cast<const uint8_t*>(dib.GetColorTable());
    const unsigned bits = layout.bitCount;
    const auto field = [&](uint32_t pixel, uint32_t mask) {  // widened to 8 bits, or the top 8 kept
        const int n = std::popcount(mask);
        const uint32_t value = (pixel & mask) >> std::countr_zero(mask), up = value << (8 - std::min(n, 8));
        return int(n >= 8 ? value >> (n - 8) : layout.replicate ? up | (up >> n) : up);
    };
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* row = dib.GetBits() + uint64_t(dib.GetStride()) * uint64_t(layout.height - 1 - y);
        for (int x = 0; x < layout.width; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, row + x * bits / 8, bits < 8 ? 1 : bits / 8);
            const unsigned index = bits < 8 ? v >> (8 - bits * (x % (8 / bits) + 1)) & ((1u << bits) - 1) : v;
            if (bits >= 16)
                image.setPixel(
                    x, y, qRgb(field(v, layout.masks[0]), field(v, layout.masks[1]), field(v, layout.masks[2])));
            else  // indices past the record's colour table are black
                image.setPixel(x, y,
                    index < layout.paletteEntries
                        ? qRgb(colours[4 * index + 2], colours[4 * index + 1], colours[4 * index])
                        : qRgb(0, 0, 0));
        }
    }
    return image;
}

QByteArray ReadPdf(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The size in points that the page's one image is painted at: the product of
// the scales of the matrices that the page's drawing sets before it.
QSizeF PaintedSize(const QByteArray& pdf)
{
    for (qsizetype at = pdf.indexOf("\nstream\n"); at >= 0; at = pdf.indexOf("\nstream\n", at + 1)) {
        const qsizetype begin = at + 8;
        // qUncompress wants the length in front; 1 MiB is room enough for a page's drawing.
        const QString content = QString::fromLatin1(
            qUncompress(QByteArray::fromHex("00100000") + pdf.mid(begin, pdf.indexOf("endstream", begin) - begin)));
        if (!content.contains(" Do"))
            continue;
        QSizeF scale(1, 1);
        static const QRegularExpression matrix("([-0-9.]+) 0 0 ([-0-9.]+) [-0-9.]+ [-0-9.]+ cm");
        for (const QRegularExpressionMatch& m : matrix.globalMatch(content.left(content.indexOf(" Do"))))
            scale = QSizeF(scale.width() * std::abs(m.captured(1).toDouble()),
                scale.height() * std::abs(m.captured(2).toDouble()));
        return scale;
    }
    return {};
}

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void drawsEveryDepthPixelForPixel()
    {
        const RecordLayout layouts[] = {
            {"1-bit palette", 37, 11, 1, BI_RGB, {}, 2, true},
            {"4-bit palette", 35, 12, 4, BI_RGB, {}, 16, true},
            {"8-bit palette", 33, 14, 8, BI_RGB, {}, 256, true},
            {"8-bit short palette", 31, 9, 8, BI_RGB, {}, 10, true},
            {"16-bit 5-5-5", 29, 13, 16, BI_RGB, {0x7C00, 0x03E0, 0x001F}, 0, true},
            {"16-bit 5-6-5 fields", 27, 8, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0, true},
            {"16-bit 4-4-4 fields", 25, 10, 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, 0, false},
            {"24-bit, odd width", 23, 15, 24, BI_RGB, {0xFF0000, 0xFF00, 0xFF}, 0, true},
            {"32-bit, any fourth byte", 21, 16, 32, BI_RGB, {0xFF0000, 0xFF00, 0xFF}, 0, true},
            {"32-bit swapped fields", 17, 6, 32, BI_BITFIELDS, {0xFF, 0xFF00, 0xFF0000}, 0, true},
        };
        for (const RecordLayout& layout : layouts) {
            std::unique_ptr<CDibImage> dib = MakeRecord(layout);
            // The screen, and the surfaces with alpha that printers and previews paint on: the image stays opaque.
            for (QImage::Format format :
                {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32}) {
                QImage surface(layout.width + 1, layout.height + 1, format);
                surface.fill(Qt::white);
                QPainter painter(&surface);
                DrawDib(painter, *dib);
                painter.end();
                QVERIFY2(surface.copy(0, 0, layout.width, layout.height).convertToFormat(QImage::Format_ARGB32) ==
                        Expected(layout, *dib),
                    layout.name);
                QCOMPARE(surface.pixel(layout.width, 0) & surface.pixel(0, layout.height), qRgb(255, 255, 255));
            }
        }
        // A damaged record in the document draws nothing.
        AppHarness app;
        WriteFileBytes(m_dir.File("damaged.bmp"),
            BuildBmp({.width = 16, .height = 16, .pixels = std::vector<uint8_t>(16 * 48, 7)}));
        app.Open(m_dir.File("damaged.bmp"));
        app.Doc()->GetActiveImage()->GetBitmapInfo()->bmiHeader.biHeight = 5000;  // more rows than the block holds
        app.Doc()->UpdateAllViews();
        QCOMPARE(Shows(app), QString());
    }

    void zoomKeepsTexelsSharpWhenMagnifiedSmoothWhenReducedAndReadsThePixelUnderThePointer()
    {
        // Columns of white and colour: reduced to half, smoothing blends them; magnified, squares.
        QImage stripes(400, 300, QImage::Format_RGB32);
        for (int x = 0; x < 400; ++x)
            for (int y = 0; y < 300; ++y)
                stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(y % 256, 0, x % 256));
        stripes.save(QString::fromStdString(m_dir.File("stripes.png")), "PNG");
        AppHarness app;
        app.Open(m_dir.File("stripes.png"));
        CTavrelView* view = app.View();
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        for (const char* key : {"Ctrl++", "Ctrl++", "Ctrl+=", "Ctrl++"})
            QTest::keySequence(app.Frame(), QKeySequence(key));
        QCOMPARE(view->GetZoom(), 4.0);
        view->horizontalScrollBar()->setValue(0);  // zoomed about the middle; back to the corner
        view->verticalScrollBar()->setValue(0);
        QCOMPARE(Shows(app, stripes.scaled(1600, 1200)), QString());  // nearest: 4 x 4 squares
        // The pixel pane names the texel under the pointer.
        QTest::mouseMove(view->viewport(), QPoint(6, 3) * 4 + QPoint(3, 2));
        QCOMPARE(app.PaneText(ID_INDICATOR_PIXEL), QStringLiteral("6, 3: RGBA 3, 0, 6, 255"));
        // Halved smoothly, a white column and its neighbour meet in between.
        for (const char* key : {"Ctrl+0", "Ctrl+-", "Ctrl+-"})
            QTest::keySequence(app.Frame(), QKeySequence(key));
        QCOMPARE(view->GetZoom(), 0.5);
        const QImage half = app.RenderView();
        for (int x = 0; x < 200; ++x)
            QVERIFY2(qGreen(half.pixel(x, 5)) > 60 && qGreen(half.pixel(x, 5)) < 200, qPrintable(QString::number(x)));
        // Ctrl+wheel zooms about the pointer: the texel under it stays there.
        for (const char* key : {"Ctrl+0", "Ctrl++", "Ctrl++"})
            QTest::keySequence(app.Frame(), QKeySequence(key));
        const QPoint pointer(33, 21);
        const QString before = view->PixelTextAt(pointer);
        QWheelEvent wheel(pointer, view->viewport()->mapToGlobal(pointer), {}, QPoint(0, 240), Qt::NoButton,
            Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view->viewport(), &wheel);
        QCOMPARE(view->GetZoom(), 4.0);
        QCOMPARE(view->PixelTextAt(pointer), before);
        // The same file read again keeps its zoom; another one opens at actual size.
        app.Open(m_dir.File("stripes.png"));
        QCOMPARE(view->GetZoom(), 4.0);
        stripes.save(QString::fromStdString(m_dir.File("other.png")), "PNG");
        app.Open(m_dir.File("other.png"));
        QCOMPARE(view->GetZoom(), 1.0);
    }

    void fitToWindowStaysOnForTheNextImagesAndThePaneShowsTheZoom()
    {
        AppHarness app(WriteModel(m_dir, "fit.nif", {{1000, 800, 1, 1}, {64, 32, 1, 2}, {2000, 100, 1, 3}}));
        CTavrelView* view = app.View();
        const QSize room = view->maximumViewportSize();
        const auto fits = [&](double w, double h) { return std::min(room.width() / w, room.height() / h); };
        QCOMPARE(app.PaneText(ID_INDICATOR_ZOOM), QStringLiteral("Zoom: 100%"));
        app.Frame()->OnCommand(ID_VIEW_FIT_TO_WINDOW);
        QVERIFY(app.Frame()->GetAction(ID_VIEW_FIT_TO_WINDOW)->isChecked());
        QCOMPARE(view->GetZoom(), fits(1000, 800));
        QCOMPARE(app.PaneText(ID_INDICATOR_ZOOM), QStringLiteral("Zoom: %1%").arg(std::round(fits(1000, 800) * 100)));
        // The next image fits too; a small one keeps its size until enlarging is asked for.
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(view->GetZoom(), 1.0);
        app.Frame()->GetAction(ID_VIEW_FIT_ENLARGES)->trigger();
        QCOMPARE(view->GetZoom(), fits(64, 32));
        app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE);
        QCOMPARE(view->GetZoom(), fits(2000, 100));
        QVERIFY(view->GetTotalSize().width() <= room.width());
        // Another zoom ends the mode.
        app.Frame()->OnCommand(ID_VIEW_ACTUAL_SIZE);
        QVERIFY(!app.Frame()->GetAction(ID_VIEW_FIT_TO_WINDOW)->isChecked());
        app.Frame()->OnCommand(ID_VIEW_FIRST_IMAGE);
        QCOMPARE(view->GetZoom(), 1.0);
    }

    void transparencyAlphaChannelAndCopyKeepTheAlpha()
    {
        // Opaque, half and wholly transparent columns.
        QImage picture(24, 10, QImage::Format_ARGB32);
        for (int x = 0; x < 24; ++x)
            for (int y = 0; y < 10; ++y)
                picture.setPixel(x, y, qRgba(200, x * 10, y * 20, x < 8 ? 255 : x < 16 ? 128 : 0));
        picture.save(QString::fromStdString(m_dir.File("alpha.png")), "PNG");
        AppHarness app;
        QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
        app.Open(m_dir.File("alpha.png"));
        // Off at first, so the image draws as it always did.
        QCOMPARE(Shows(app, picture.convertToFormat(QImage::Format_RGB32)), QString());
        app.Frame()->GetAction(ID_VIEW_SHOW_TRANSPARENCY)->trigger();
        const QImage screen = app.RenderView();
        for (int x = 0; x < 24; ++x)
            for (int y = 0; y < 10; ++y) {
                const QRgb want = picture.pixel(x, y), got = screen.pixel(x, y);
                const bool checker = got == qRgb(255, 255, 255) || got == qRgb(204, 204, 204);
                QVERIFY2(qAlpha(want) == 255 ? (got | 0xFF000000) == want
                        : qAlpha(want) == 0  ? checker
                                             : !checker && got != (want | 0xFF000000),
                    qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
            }
        // Ctrl+C: the image with its alpha.
        QTest::keySequence(app.Frame(), QKeySequence("Ctrl+C"));
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32), picture);
        app.Frame()->GetAction(ID_VIEW_ALPHA_CHANNEL)->trigger();
        QImage grey(24, 10, QImage::Format_RGB32);
        for (int x = 0; x < 24; ++x)
            for (int y = 0, a = qAlpha(picture.pixel(x, 0)); y < 10; ++y)
                grey.setPixel(x, y, qRgb(a, a, a));
        QCOMPARE(Shows(app, grey), QString());
    }

    void printWritesOnePageHoldingTheImageFittedToIt()
    {
        const Tex texture{64, 48, 1, 7};
        AppHarness app(WriteModel(m_dir, "print.nif", {texture, {3000, 2000, 1, 8}}));
        QPrinter& printer = app.App().GetPrinter();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(m_dir.File("page.pdf")));
        // A cancelled print dialog prints nothing, not even to the last target.
        app.m_ui.m_onPrint = [](QPrinter&) { return false; };
        app.Frame()->OnCommand(ID_FILE_PRINT);
        QVERIFY(!std::filesystem::exists(m_dir.File("page.pdf")));
        // The page setup's choices reach the next print.
        app.m_ui.m_onPageSetup = [](QPrinter& printer) { return printer.setPageOrientation(QPageLayout::Landscape); };
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT_SETUP));
        app.m_ui.m_onPrint = [](QPrinter&) { return true; };
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT));
        QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
        QByteArray pdf = ReadPdf(m_dir.File("page.pdf"));
        // The texture stored losslessly, printed 1:1.
        QVERIFY(!pdf.contains("/DCTDecode"));
        const double pointsPerPixel = 72.0 / printer.resolution();
        QCOMPARE(PaintedSize(pdf), QSizeF(64, 48) * pointsPerPixel);

        // An image larger than the printable area is scaled down to fill its width, aspect kept.
        QVERIFY(app.Frame()->OnCommand(ID_VIEW_NEXT_IMAGE));
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT));
        pdf = ReadPdf(m_dir.File("page.pdf"));
        const QSizeF painted = PaintedSize(pdf), printable = printer.pageLayout().paintRect(QPageLayout::Point).size();
        QVERIFY2(std::abs(painted.width() - printer.width() * pointsPerPixel) < 0.5 &&
                painted.height() <= printable.height() && std::abs(painted.width() / painted.height() - 1.5) < 0.001,
            qPrintable(QStringLiteral("%1 x %2").arg(painted.width()).arg(painted.height())));
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
