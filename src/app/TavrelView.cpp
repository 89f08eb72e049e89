#include "app/TavrelView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>

#include <cstdlib>

#include "app/DibPainter.h"
#include "app/MapMakerDlg.h"
#include "app/PrintDialogs.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

// The scroll area before any image was shown.
constexpr int kInitialSize = 100;

}  // namespace

CTavrelView::CTavrelView(CTavrelDoc* pDoc, IPrintDialogs* pPrintDialogs, QPrinter* pPrinter, QWidget* parent)
    : QAbstractScrollArea(parent), m_pDoc(pDoc), m_pPrintDialogs(pPrintDialogs), m_pPrinter(pPrinter)
{
    setObjectName("TavrelView");
    setFrameShape(QFrame::NoFrame);
    m_pDoc->AddObserver(this);

    MapCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });
    MapCommand(ID_FILE_PRINT_DIRECT, [this] { PrintPage(m_pPrinter); });
    MapCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
    MapCommand(ID_EDIT_CREATE_MAP_BITMAP, [this] { OnCreateMapBitmap(); },
               [this](CCmdUI* ui) { OnUpdateCreateMapBitmap(ui); });
    MapUpdate(ID_INDICATOR_DIMENSIONS, [this](CCmdUI* ui) { OnUpdateDimensions(ui); });
    MapUpdate(ID_INDICATOR_IMAGE_INDEX, [this](CCmdUI* ui) { OnUpdateImageIndex(ui); });
}

CTavrelView::~CTavrelView()
{
    m_pDoc->RemoveObserver(this);
}

void CTavrelView::OnInitialUpdate()
{
    // The first size, replaced at once by the image's when the document holds one.
    m_nDibWidth = kInitialSize;
    m_nDibHeight = kInitialSize;
    SetScrollSizes(QSize(kInitialSize, kInitialSize));
    OnUpdate(nullptr, 0, nullptr);
}

void CTavrelView::OnUpdate(void*, long, void*)
{
    m_pDibInfo = nullptr;
    m_pDibBits = nullptr;
    const CDibImage* dib = m_pDoc->GetActiveImage();
    if (dib && dib->GetBitmapInfo()) {
        m_nDibWidth = dib->GetWidth();
        m_nDibHeight = dib->GetHeight();
        m_pDibInfo = dib->GetBitmapInfo();
        m_pDibBits = dib->GetBits();
        SetScrollSizes(QSize(m_nDibWidth, std::abs(m_nDibHeight)));
    }
    if (m_pDibInfo && m_pDibBits) {
        m_strDimensions = FormatString("Dimensions: %u * %u", static_cast<unsigned>(m_nDibWidth),
                                       static_cast<unsigned>(std::abs(m_nDibHeight)));
        m_strImageIndex = FormatString("Image Index: %u", m_pDoc->GetCurrentIndex());
    }
    viewport()->update();
}

void CTavrelView::OnDraw(QPainter& painter) const
{
    if (const CDibImage* dib = m_pDoc->GetActiveImage())
        DrawDib(painter, *dib);
}

void CTavrelView::OnFilePrint()
{
    if (!m_pPrintDialogs->RunPrintDialog(*m_pPrinter, window()))
        return;
    PrintPage(m_pPrinter);
}

void CTavrelView::OnFilePrintPreview()
{
    m_pPrintDialogs->RunPrintPreview(*m_pPrinter, window(), [this](QPrinter* printer) { PrintPage(printer); });
}

void CTavrelView::PrintPage(QPrinter* printer) const
{
    QPainter painter;
    if (!painter.begin(printer)) {
        AfxMessageBox("Could not start print job.", MB_OK);
        return;
    }
    OnDraw(painter);
    painter.end();
}

void CTavrelView::OnUpdateDimensions(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
    if (m_pDibInfo && m_pDibBits)
        pCmdUI->SetText(m_strDimensions);
}

void CTavrelView::OnUpdateImageIndex(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
    if (m_pDibInfo && m_pDibBits)
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
    OnDraw(painter);
}

void CTavrelView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CTavrelView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
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
