#pragma once
// The one view of the document: the active image, unscaled, at the top-left
// of a scrolling area; its printing; and the texts of the two status panes.
#include <QAbstractScrollArea>

#include <string>

#include "doc/CmdTarget.h"
#include "doc/DocObserver.h"
#include "platform/BitmapTypes.h"

class CTavrelDoc;
class IPrintDialogs;
class QPrinter;

class CTavrelView : public QAbstractScrollArea, public CCmdTarget, public IDocObserver {
    Q_OBJECT
public:
    CTavrelView(CTavrelDoc* pDoc, IPrintDialogs* pPrintDialogs, QPrinter* pPrinter, QWidget* parent = nullptr);
    ~CTavrelView() override;

    CTavrelDoc* GetDocument() const { return m_pDoc; }

    void OnInitialUpdate();
    void OnUpdate(void* pSender, long lHint, void* pHint) override;
    // Draws the active image at the painter's origin: screen, printer and preview.
    void OnDraw(QPainter& painter) const;

    void OnFilePrint();
    void OnFilePrintPreview();
    // Prints one page: the image at the top-left of the printable area.
    void PrintPage(QPrinter* printer) const;

    void OnUpdateDimensions(CCmdUI* pCmdUI);
    void OnUpdateImageIndex(CCmdUI* pCmdUI);
    void OnUpdateCreateMapBitmap(CCmdUI* pCmdUI);
    // Create Map Bitmap: the Map Maker dialog, then the map saved as a bitmap file.
    void OnCreateMapBitmap();

    // The size of the scrolled area.
    QSize GetTotalSize() const { return m_totalSize; }
    // The part of the area at the viewport's top-left.
    QPoint GetScrollPosition() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void SetScrollSizes(QSize total);
    void UpdateScrollBars();

    CTavrelDoc* m_pDoc;
    IPrintDialogs* m_pPrintDialogs;
    QPrinter* m_pPrinter;
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
};
