#include "app/TavrelView.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QSettings>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>

#include "app/CommandTable.h"
#include "app/DibDisplay.h"
#include "app/DibPainter.h"
#include "app/MapMakerDlg.h"
#include "app/PrintDialogs.h"
#include "app/ViewerCommandIds.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

// The scroll area when no image is shown.
constexpr int kInitialSize = 100;

constexpr char kTransparencyKey[] = "View/ShowTransparency";
constexpr char kAlphaChannelKey[] = "View/AlphaChannel";
constexpr char kFitKey[] = "View/FitToWindow";
constexpr char kEnlargeKey[] = "View/EnlargeToFit";

// The zoom levels that Zoom In and Zoom Out step through.
constexpr double kZoomSteps[] = {
    1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1, 1.5, 2, 3, 4, 6, 8, 12, 16, 24, 32};

// The PNG reader keeps colour only; the alpha of a PNG file comes from the
// file itself. True when the open PNG file has an alpha channel.
bool FileHasAlpha(const CTavrelDoc& doc)
{
    if (doc.GetFileKind() != FileKind::Png)
        return false;
    QImageReader reader(QFile::decodeName(doc.GetFilePath().c_str()), "png");
    return reader.canRead() && QImage(1, 1, reader.imageFormat()).hasAlphaChannel();
}

// The open PNG file read whole with its alpha, if it still matches the record.
QImage FileImageWithAlpha(const CTavrelDoc& doc, const CDibImage& dib)
{
    QImageReader reader(QFile::decodeName(doc.GetFilePath().c_str()), "png");
    if (reader.size() != QSize(dib.GetWidth(), std::abs(dib.GetHeight())))
        return {};
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

CTavrelView::CTavrelView(CTavrelDoc* pDoc, IPrintDialogs* pPrintDialogs, PrinterSource printer, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_pDoc(pDoc)
    , m_pPrintDialogs(pPrintDialogs)
    , m_printer(std::move(printer))
{
    setObjectName("TavrelView");
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    m_pDoc->AddObserver(this);
    const QSettings settings;
    m_bShowTransparency = settings.value(kTransparencyKey, false).toBool();
    m_bShowAlphaChannel = settings.value(kAlphaChannelKey, false).toBool();
    m_bFitToWindow = settings.value(kFitKey, false).toBool();
    m_bEnlargeToFit = settings.value(kEnlargeKey, false).toBool();

    const auto state = [this](CCmdUI* ui) { UpdateCommandUIState(ui->m_nID, ui); };
    MapCommand(
        ID_FILE_PRINT, [this] { OnFilePrint(); }, state);
    MapCommand(
        ID_FILE_PRINT_DIRECT, [this] { PrintPage(&m_printer()); }, state);
    MapCommand(
        ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); }, state);
    MapCommand(
        ID_EDIT_COPY, [this] { OnEditCopy(); }, state);
    MapCommand(
        ID_VIEW_ZOOM_IN, [this] { OnZoomIn(); }, state);
    MapCommand(
        ID_VIEW_ZOOM_OUT, [this] { OnZoomOut(); }, state);
    MapCommand(
        ID_VIEW_ACTUAL_SIZE, [this] { SetZoom(1); }, state);
    MapCommand(
        ID_VIEW_FIT_TO_WINDOW, [this] { OnFitToWindow(); },
        [this, state](CCmdUI* ui) {
            state(ui);
            ui->SetCheck(m_bFitToWindow);
        });
    MapCommand(
        ID_EDIT_CREATE_MAP_BITMAP, [this] { OnCreateMapBitmap(); },
        [this](CCmdUI* ui) { OnUpdateCreateMapBitmap(ui); });
    MapUpdate(ID_INDICATOR_DIMENSIONS, [this](CCmdUI* ui) { OnUpdateDimensions(ui); });
    MapUpdate(ID_INDICATOR_IMAGE_INDEX, [this](CCmdUI* ui) { OnUpdateImageIndex(ui); });
    MapUpdate(ID_INDICATOR_ZOOM, [this](CCmdUI* ui) { OnUpdateZoom(ui); });
}

CTavrelView::~CTavrelView()
{
    m_pDoc->RemoveObserver(this);
}

void CTavrelView::OnInitialUpdate()
{
    SetScrollSizes(QSize(kInitialSize, kInitialSize));
    OnUpdate(nullptr, 0, nullptr);
}

void CTavrelView::OnBusyChanged(bool bBusy)
{
    // A load or a write is under way: another file than the shown one opens
    // at actual size; the same file read again keeps its zoom.
    if (bBusy)
        m_bNewLoad = true;
}

void CTavrelView::OnUpdate(void*, long, void*)
{
    m_pDibInfo = nullptr;
    m_pDibBits = nullptr;
    m_alphaImage = QImage();
    m_alphaGrey = QImage();
    m_bHasAlpha = false;
    if (m_bNewLoad) {
        if (m_pDoc->GetFilePath() != m_strShownPath)
            m_dZoom = 1;
        m_bNewLoad = false;
    }
    m_strShownPath = m_pDoc->GetFilePath();
    const CDibImage* dib = m_pDoc->GetActiveImage();
    if (dib && dib->GetBitmapInfo()) {
        m_nDibWidth = dib->GetWidth();
        m_nDibHeight = std::abs(dib->GetHeight());
        m_pDibInfo = dib->GetBitmapInfo();
        m_pDibBits = dib->GetBits();
        m_bHasAlpha = DibHasAlpha(*dib) || FileHasAlpha(*m_pDoc);
    }
    // The panes always describe what is shown: numbers only for an image.
    m_strImageIndex = kImageIndexNone;
    m_strDimensions = kDimensionsNone;
    if (HasImage()) {
        m_strDimensions = FormatString("Dimensions: %u * %u", unsigned(m_nDibWidth), unsigned(m_nDibHeight));
        if (m_bFitToWindow)
            Fit();
        UpdateScrollSize();
    } else {
        SetScrollSizes(QSize(kInitialSize, kInitialSize));
    }
    // A model file's texture keeps its index even when it could not be read.
    if (HasImage() || (m_pDoc->GetFileKind() == FileKind::Nif && m_pDoc->ImageCount() > 0))
        m_strImageIndex = FormatString("Image Index: %u", m_pDoc->GetCurrentIndex());
    viewport()->update();
    emit PixelTextChanged(PixelTextAt(m_lastPointer));
    emit DisplayChanged();
}

const CDibImage* CTavrelView::SteadyImage() const
{
    if (m_pDoc->IsBusy() || !HasImage())
        return nullptr;
    const CDibImage* dib = m_pDoc->GetActiveImage();
    return dib && dib->GetBitmapInfo() == m_pDibInfo ? dib : nullptr;
}

void CTavrelView::OnDraw(QPainter& painter) const
{
    const CDibImage* dib = m_pDoc->GetActiveImage();
    if (!dib)
        return;
    if (m_bShowAlphaChannel && SteadyImage()) {
        painter.drawImage(QPointF(0, 0), AlphaGrey());
    } else if (m_bShowTransparency && SteadyImage() && !AlphaImage().isNull()) {
        DrawCheckerboard(painter, QRectF(QPointF(0, 0), QSizeF(AlphaImage().size())));
        painter.drawImage(QPointF(0, 0), AlphaImage());
    } else {
        DrawDib(painter, *dib);
    }
}

void CTavrelView::OnFilePrint()
{
    QPrinter& printer = m_printer();
    if (!m_pPrintDialogs->RunPrintDialog(printer, window()))
        return;
    PrintPage(&printer);
}

void CTavrelView::OnFilePrintPreview()
{
    m_pPrintDialogs->RunPrintPreview(m_printer(), window(), [this](QPrinter* printer) { PrintPage(printer); });
}

void CTavrelView::PrintPage(QPrinter* printer) const
{
    QPainter painter;
    if (!painter.begin(printer)) {
        AfxMessageBox("Could not start print job.", MB_OK);
        return;
    }
    // An image larger than the printable area is scaled down to fit it whole.
    if (HasImage() && m_nDibWidth > 0 && m_nDibHeight > 0) {
        const double fit = std::min(double(printer->width()) / m_nDibWidth, double(printer->height()) / m_nDibHeight);
        if (fit < 1) {
            painter.scale(fit, fit);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
        }
    }
    OnDraw(painter);
    painter.end();
}

void CTavrelView::OnEditCopy()
{
    const CDibImage* dib = SteadyImage();
    if (!dib)
        return;
    const QImage image = AlphaImage().isNull() ? DibToImage(*dib, false) : AlphaImage();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

const QImage& CTavrelView::AlphaImage() const
{
    const CDibImage* dib = SteadyImage();
    if (m_alphaImage.isNull() && m_bHasAlpha && dib) {
        m_alphaImage = DibHasAlpha(*dib) ? DibToImage(*dib, true) : FileImageWithAlpha(*m_pDoc, *dib);
        if (m_alphaImage.size() != QSize(m_nDibWidth, m_nDibHeight))
            m_alphaImage = QImage();
    }
    return m_alphaImage;
}

const QImage& CTavrelView::AlphaGrey() const
{
    if (m_alphaGrey.isNull() && HasImage()) {
        m_alphaGrey = QImage(m_nDibWidth, m_nDibHeight, QImage::Format_Grayscale8);
        m_alphaGrey.fill(255);
        const QImage& image = AlphaImage();
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uchar* out = m_alphaGrey.scanLine(y);
            for (int x = 0; x < image.width(); ++x)
                out[x] = uchar(qAlpha(row[x]));
        }
    }
    return m_alphaGrey;
}

double CTavrelView::Scale() const
{
    // Actual size is one image pixel per device pixel, on high-density screens too.
    return m_dZoom / devicePixelRatioF();
}

void CTavrelView::SetZoom(double zoom, QPointF anchor)
{
    if (m_bFitToWindow)
        SetFitToWindow(false);
    ApplyZoom(zoom, anchor);
}

void CTavrelView::ApplyZoom(double zoom, QPointF anchor)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (anchor.x() < 0 || anchor.y() < 0)
        anchor = QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0);
    const QPointF imagePoint = (anchor + QPointF(GetScrollPosition())) / Scale();
    m_dZoom = zoom;
    UpdateScrollSize();
    const QPointF scroll = imagePoint * Scale() - anchor;
    horizontalScrollBar()->setValue(int(std::lround(scroll.x())));
    verticalScrollBar()->setValue(int(std::lround(scroll.y())));
    viewport()->update();
    emit PixelTextChanged(PixelTextAt(m_lastPointer));
    emit DisplayChanged();
}

void CTavrelView::OnZoomIn()
{
    for (double step : kZoomSteps) {
        if (step > m_dZoom * 1.001) {
            SetZoom(step);
            return;
        }
    }
}

void CTavrelView::OnZoomOut()
{
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it) {
        if (*it < m_dZoom * 0.999) {
            SetZoom(*it);
            return;
        }
    }
}

void CTavrelView::OnFitToWindow()
{
    SetFitToWindow(!m_bFitToWindow);
}

void CTavrelView::SetFitToWindow(bool bFit)
{
    m_bFitToWindow = bFit;
    QSettings().setValue(kFitKey, bFit);
    if (bFit)
        Fit();
    emit DisplayChanged();
}

void CTavrelView::SetEnlargeToFit(bool bEnlarge)
{
    m_bEnlargeToFit = bEnlarge;
    QSettings().setValue(kEnlargeKey, bEnlarge);
    if (m_bFitToWindow)
        Fit();
    emit DisplayChanged();
}

void CTavrelView::Fit()
{
    if (!HasImage() || m_nDibWidth <= 0 || m_nDibHeight <= 0)
        return;
    const QSize room = maximumViewportSize();
    double fit = std::min(double(room.width()) / m_nDibWidth, double(room.height()) / m_nDibHeight);
    fit *= devicePixelRatioF();
    if (!m_bEnlargeToFit)
        fit = std::min(fit, 1.0);
    ApplyZoom(fit, QPointF(0, 0));
}

QString CTavrelView::ZoomText() const
{
    if (!HasImage())
        return {};
    const double percent = m_dZoom * 100;
    return QStringLiteral("Zoom: %1%").arg(percent, 0, 'f', percent < 10 ? 1 : 0);
}

void CTavrelView::OnUpdateZoom(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
    pCmdUI->SetText(ZoomText().toStdString());
}

void CTavrelView::SetShowTransparency(bool bShow)
{
    m_bShowTransparency = bShow;
    QSettings().setValue(kTransparencyKey, bShow);
    viewport()->update();
    emit DisplayChanged();
}

void CTavrelView::SetShowAlphaChannel(bool bShow)
{
    m_bShowAlphaChannel = bShow;
    QSettings().setValue(kAlphaChannelKey, bShow);
    viewport()->update();
    emit DisplayChanged();
}

QString CTavrelView::PixelTextAt(QPointF viewportPos) const
{
    const CDibImage* dib = SteadyImage();
    if (!dib || viewportPos.x() < 0 || viewportPos.y() < 0)
        return {};
    const QPointF point = (viewportPos + QPointF(GetScrollPosition())) / Scale();
    const int x = int(std::floor(point.x())), y = int(std::floor(point.y()));
    QColor color;
    if (!DibPixel(*dib, x, y, &color))
        return {};
    if (!AlphaImage().isNull())
        color.setAlpha(qAlpha(AlphaImage().pixel(x, y)));
    return QStringLiteral("%1, %2: RGBA %3, %4, %5, %6")
        .arg(x)
        .arg(y)
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

void CTavrelView::UpdateCommandUIState(unsigned nID, CCmdUI* pCmdUI)
{
    const bool shown = HasImage() && !m_pDoc->IsBusy();
    switch (nID) {
    case ID_VIEW_ZOOM_IN: pCmdUI->Enable(shown && m_dZoom < kMaxZoom * 0.999); break;
    case ID_VIEW_ZOOM_OUT: pCmdUI->Enable(shown && m_dZoom > kMinZoom * 1.001); break;
    default: pCmdUI->Enable(shown); break;
    }
}

void CTavrelView::OnUpdateDimensions(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
    pCmdUI->SetText(m_strDimensions);
}

void CTavrelView::OnUpdateImageIndex(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
    pCmdUI->SetText(m_strImageIndex);
}

void CTavrelView::OnCreateMapBitmap()
{
    RunMapMaker(*m_pDoc, window());
}

void CTavrelView::OnUpdateCreateMapBitmap(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(m_pDoc->IsLargeFile() && !m_pDoc->IsBusy());
}

QPoint CTavrelView::GetScrollPosition() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CTavrelView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.translate(-GetScrollPosition());
    painter.scale(Scale(), Scale());
    // Magnified texels stay sharp squares; reduced images are smoothed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_dZoom < 1);
    OnDraw(painter);
}

void CTavrelView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_bFitToWindow)
        Fit();
    UpdateScrollBars();
}

void CTavrelView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
    emit PixelTextChanged(PixelTextAt(m_lastPointer));
}

void CTavrelView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0 || !HasImage())
        return;
    // Zoom about the pointer: the pixel under it stays under it.
    const double factor = std::pow(2.0, steps / 2.0);
    SetZoom(m_dZoom * factor, event->position());
}

void CTavrelView::mouseMoveEvent(QMouseEvent* event)
{
    m_lastPointer = event->position();
    emit PixelTextChanged(PixelTextAt(m_lastPointer));
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CTavrelView::leaveEvent(QEvent* event)
{
    m_lastPointer = QPointF(-1, -1);
    emit PixelTextChanged(QString());
    QAbstractScrollArea::leaveEvent(event);
}

void CTavrelView::UpdateScrollSize()
{
    SetScrollSizes(QSize(int(std::ceil(m_nDibWidth * Scale())), int(std::ceil(m_nDibHeight * Scale()))));
}

void CTavrelView::SetScrollSizes(QSize total)
{
    m_totalSize = total;
    UpdateScrollBars();
}

void CTavrelView::UpdateScrollBars()
{
    const QSize page = viewport()->size();
    QScrollBar* bars[] = {horizontalScrollBar(), verticalScrollBar()};
    const int totals[] = {m_totalSize.width(), m_totalSize.height()};
    const int pages[] = {page.width(), page.height()};
    for (int i = 0; i < 2; ++i) {
        bars[i]->setRange(0, std::max(0, totals[i] - pages[i]));
        bars[i]->setPageStep(std::max(1, pages[i]));
        // A line is a hundredth of the whole, as the classic scroll views had it.
        bars[i]->setSingleStep(std::max(1, totals[i] / 100));
    }
}
