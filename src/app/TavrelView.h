#pragma once
// The one view of the document: the active image at the top-left of a
// scrolling area, at actual size or zoomed, optionally over a checkerboard or
// as its alpha channel; its printing and copying; and the texts of the status
// panes, the pixel under the pointer among them.
#include <QAbstractScrollArea>
#include <QImage>

#include <string>

#include "app/PrintDialogs.h"
#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"
#include "platform/BitmapTypes.h"

class CDibImage;
class CTavrelDoc;

class CTavrelView : public QAbstractScrollArea, public CCmdTarget, public IDocObserver {
    Q_OBJECT
public:
    CTavrelView(CTavrelDoc* pDoc, IPrintDialogs* pPrintDialogs, PrinterSource printer, QWidget* parent = nullptr);
    ~CTavrelView() override;

    CTavrelDoc* GetDocument() const { return m_pDoc; }

    void OnInitialUpdate();
    void OnUpdate(void* pSender, long lHint, void* pHint) override;
    void OnBusyChanged(bool bBusy) override;
    // Draws the active image at the painter's origin, one unit per image
    // pixel: screen, printer and preview.
    void OnDraw(QPainter& painter) const;

    void OnFilePrint();
    void OnFilePrintPreview();
    // Prints one page: the image at the top-left of the printable area, scaled
    // down to fit when it is larger.
    void PrintPage(QPrinter* printer) const;
    // Copies the shown image, with its alpha, to the clipboard.
    void OnEditCopy();

    // Zoom: device pixels per image pixel (1 is actual size).
    double GetZoom() const { return m_dZoom; }
    // Keeps the image point under `anchor` (a viewport point) in place; the
    // viewport's centre when none is given.
    void SetZoom(double zoom, QPointF anchor = QPointF(-1, -1));
    void OnZoomIn();
    void OnZoomOut();
    // Fit to Window is a mode: while it is on, every image shown is fitted,
    // and any other zoom ends it. Small images keep their actual size unless
    // they are to be enlarged. Both are remembered between runs.
    void OnFitToWindow();
    bool IsFittingToWindow() const { return m_bFitToWindow; }
    void SetFitToWindow(bool bFit);
    bool IsEnlargingToFit() const { return m_bEnlargeToFit; }
    void SetEnlargeToFit(bool bEnlarge);
    // "Zoom: 100%" while an image is shown.
    QString ZoomText() const;
    bool IsShowingTransparency() const { return m_bShowTransparency; }
    bool IsShowingAlphaChannel() const { return m_bShowAlphaChannel; }
    // Both are remembered between runs.
    void SetShowTransparency(bool bShow);
    void SetShowAlphaChannel(bool bShow);

    // "x, y: RGBA r, g, b, a" for the image pixel under a viewport point; empty outside it.
    QString PixelTextAt(QPointF viewportPos) const;

    void OnUpdateDimensions(CCmdUI* pCmdUI);
    void OnUpdateImageIndex(CCmdUI* pCmdUI);
    void OnUpdateZoom(CCmdUI* pCmdUI);
    void OnCreateMapBitmap();
    void OnUpdateCreateMapBitmap(CCmdUI* pCmdUI);

    // The size of the scrolled area.
    QSize GetTotalSize() const { return m_totalSize; }
    // The part of the area at the viewport's top-left.
    QPoint GetScrollPosition() const;

    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 32;

signals:
    // The text of the pixel pane changed.
    void PixelTextChanged(const QString& text);
    // The zoom or a display mode changed: the commands' states may have.
    void DisplayChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool HasImage() const { return m_pDibInfo && m_pDibBits; }
    // Logical pixels per image pixel.
    double Scale() const;
    void UpdateScrollSize();
    // Sets the zoom without ending Fit to Window.
    void ApplyZoom(double zoom, QPointF anchor);
    void Fit();
    void SetScrollSizes(QSize total);
    void UpdateScrollBars();
    void UpdateCommandUIState(unsigned nID, CCmdUI* pCmdUI);
    // The active record, unless the document is in the middle of a command.
    const CDibImage* SteadyImage() const;
    // The shown image with its alpha, top row first; made when first needed.
    // Null when it has no alpha.
    const QImage& AlphaImage() const;
    // The alpha as grey, white where opaque; made when first needed.
    const QImage& AlphaGrey() const;

    CTavrelDoc* m_pDoc;
    IPrintDialogs* m_pPrintDialogs;
    PrinterSource m_printer;
    QSize m_totalSize;

    // Pointers into the active record, kept to know whether an image is shown;
    // drawing fetches the record from the document each time, so a record
    // released in the middle of a command is never drawn.
    const BITMAPINFO* m_pDibInfo = nullptr;
    const uint8_t* m_pDibBits = nullptr;
    int m_nDibWidth = 0;
    int m_nDibHeight = 0;
    std::string m_strDimensions;
    std::string m_strImageIndex;

    double m_dZoom = 1;
    bool m_bNewLoad = false;  // the next update shows a newly loaded file
    std::string m_strShownPath;  // the file the shown image came from
    bool m_bFitToWindow = false;
    bool m_bEnlargeToFit = false;
    bool m_bShowTransparency = false;
    bool m_bShowAlphaChannel = false;
    bool m_bHasAlpha = false;  // the shown image carries opacity
    mutable QImage m_alphaImage;  // the shown image with its alpha
    mutable QImage m_alphaGrey;  // its alpha as grey
    QPointF m_lastPointer{-1, -1};
};
