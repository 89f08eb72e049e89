// Printing: the print dialog's answer, one page holding the image at the
// top-left of the printable area, print preview and the page setup.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <zlib.h>

#include "AppHarness.h"
#include "TestFiles.h"
#include "app/QtUiServices.h"
#include "doc/CommandIds.h"

namespace {

// The objects of a PDF file that Qt writes: each stream's dictionary and its
// bytes, inflated where they are deflated.
struct PdfStream {
    QByteArray dictionary;
    QByteArray data;
};

QByteArray Inflate(const QByteArray& packed)
{
    QByteArray out;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = uInt(packed.size());
    char buffer[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
    }
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : QByteArray();
}

QList<PdfStream> Streams(const QByteArray& pdf)
{
    QList<PdfStream> streams;
    qsizetype at = 0;
    while ((at = pdf.indexOf("stream\n", at)) >= 0) {
        const qsizetype dictStart = pdf.lastIndexOf("<<", at);
        const QByteArray dictionary = pdf.mid(dictStart, at - dictStart);
        const qsizetype begin = at + 7;
        const qsizetype end = pdf.indexOf("endstream", begin);
        if (end < 0)
            break;
        QByteArray data = pdf.mid(begin, end - begin);
        if (dictionary.contains("/FlateDecode"))
            data = Inflate(data);
        streams.push_back({dictionary, data});
        at = end + qsizetype(strlen("endstream"));
    }
    return streams;
}

int CountPages(const QByteArray& pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(pdf).count(page));
}

// The page size in points from the first /MediaBox.
QSizeF MediaBox(const QByteArray& pdf)
{
    static const QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)"));
    const QRegularExpressionMatch m = box.match(QString::fromLatin1(pdf));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString ModelWith(const RawTexture& texture)
    {
        const QString path = m_dir.filePath("print.nif");
        WriteModel(path, {texture});
        return path;
    }

private slots:
    void init() { ClearSettings(); }

    void printWritesOnePageHoldingTheImage()
    {
        const RawTexture texture = PatternTexture(64, 48, 1, 7);
        AppHarness app(ModelWith(texture).toStdString());
        const QString pdfPath = m_dir.filePath("page.pdf");
        app.m_ui.PrintToPdf(pdfPath);
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT));
        QCOMPARE(app.m_ui.m_nPrintDialogs, 1);

        const QByteArray pdf = ReadAll(pdfPath);
        QVERIFY(pdf.startsWith("%PDF"));
        QCOMPARE(CountPages(pdf), 1);
        // One image, at the texture's size, holding its pixels.
        const QList<PdfStream> streams = Streams(pdf);
        const PdfStream* image = nullptr;
        for (const PdfStream& s : streams)
            if (s.dictionary.contains("/Subtype /Image") && !s.dictionary.contains("/SMask"))
                image = &s;
        QVERIFY(image);
        QVERIFY(image->dictionary.contains("/Width 64"));
        QVERIFY(image->dictionary.contains("/Height 48"));
        QVERIFY(!image->dictionary.contains("/DCTDecode"));   // stored losslessly
        QCOMPARE(image->data.size(), 64 * 48 * 3);
        // The image's rows are stored bottom row first and mirrored into place by
        // the page: either way every row of the texture is there, in one order.
        const QByteArray top(reinterpret_cast<const char*>(texture.pixels.data()), 64 * 3);
        const QByteArray bottom(reinterpret_cast<const char*>(texture.pixels.data()) + 47 * 64 * 3, 64 * 3);
        QVERIFY(image->data.startsWith(bottom) || image->data.startsWith(top));
        for (int row = 0; row < 48; ++row) {
            const QByteArray line(reinterpret_cast<const char*>(texture.pixels.data()) + row * 64 * 3, 64 * 3);
            const int stored = image->data.startsWith(bottom) ? 47 - row : row;
            QCOMPARE(image->data.mid(stored * 64 * 3, 64 * 3), line);
        }
        QVERIFY(app.m_ui.m_unexpected.isEmpty());
    }

    void pageDrawsTheImageAtTheTopLeftOnePixelPerDevicePixel()
    {
        // The page painting of a print, on a raster device of the printer's own kind.
        const RawTexture texture = PatternTexture(40, 25, 2, 2);
        AppHarness app(ModelWith(texture).toStdString());
        QImage page(200, 150, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            app.View()->OnDraw(painter);
        }
        QCOMPARE(CompareTopLeft(page, TextureImage(texture)), QString());
        QCOMPARE(page.pixel(40, 0), qRgb(255, 255, 255));
        QCOMPARE(page.pixel(0, 25), qRgb(255, 255, 255));
    }

    void cancelledPrintDialogPrintsNothing()
    {
        AppHarness app(ModelWith(PatternTexture(8, 8, 1, 1)).toStdString());
        const QString pdfPath = m_dir.filePath("cancelled.pdf");
        app.App().GetPrinter().setOutputFormat(QPrinter::PdfFormat);
        app.App().GetPrinter().setOutputFileName(pdfPath);
        app.m_ui.CancelNextPrint();
        app.Frame()->OnCommand(ID_FILE_PRINT);
        QCOMPARE(app.m_ui.m_nPrintDialogs, 1);
        QVERIFY(!QFile::exists(pdfPath));
    }

    void printSetupChangesTheNextPrint()
    {
        AppHarness app(ModelWith(PatternTexture(8, 8, 1, 1)).toStdString());
        app.m_ui.m_onPageSetup = [](QPrinter& printer) {
            printer.setPageOrientation(QPageLayout::Landscape);
            return true;
        };
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT_SETUP));
        const QString pdfPath = m_dir.filePath("landscape.pdf");
        app.m_ui.PrintToPdf(pdfPath);
        app.Frame()->OnCommand(ID_FILE_PRINT);
        const QSizeF page = MediaBox(ReadAll(pdfPath));
        QVERIFY(page.isValid());
        QVERIFY2(page.width() > page.height(), qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    }

    void previewShowsOnePageWithTheImage()
    {
        const RawTexture texture = PatternTexture(30, 20, 1, 3);
        AppHarness app(ModelWith(texture).toStdString());
        int pagesPainted = 0;
        int previewPages = -1;
        QtUiServices services;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            QVERIFY(preview);
            previewPages = preview->pageCount();
            dialog->close();
        });
        services.RunPrintPreview(app.App().GetPrinter(), app.Frame(), [&](QPrinter* printer) {
            ++pagesPainted;
            app.View()->PrintPage(printer);
        });
        QVERIFY(pagesPainted >= 1);
        QCOMPARE(previewPages, 1);
    }

    void printPreviewCommandReachesThePreview()
    {
        AppHarness app(ModelWith(PatternTexture(10, 10, 1, 1)).toStdString());
        QImage drawn;
        app.m_ui.m_onPreview = [&](QPrinter&, const std::function<void(QPrinter*)>& paint) {
            const QString pdfPath = m_dir.filePath("preview.pdf");
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdfPath);
            paint(&printer);
            drawn = QImage(1, 1, QImage::Format_RGB32);
            QCOMPARE(CountPages(ReadAll(pdfPath)), 1);
        };
        QVERIFY(app.Frame()->OnCommand(ID_FILE_PRINT_PREVIEW));
        QCOMPARE(app.m_ui.m_nPreviews, 1);
        QVERIFY(!drawn.isNull());
    }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
