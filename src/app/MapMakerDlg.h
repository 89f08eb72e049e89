#pragma once
// The Map Maker dialog: the 16 cells of the map at half size, the cell number
// with its arrows, "Toggle->" to move a cell on to the next tile, and "Save Map".
// Also the Create Map Bitmap command that runs it and saves the map.
#include <QDialog>
#include <QImage>

#include <vector>

#include "doc/MapMaker.h"

class CTavrelDoc;
class QSpinBox;

class CMapMakerDlg : public QDialog {
    Q_OBJECT
public:
    // Cell n starts with candidate n; the records must outlive the dialog.
    explicit CMapMakerDlg(std::vector<const CDibImage*> candidates, QWidget* parent = nullptr);

    const CMapCells& GetCells() const { return m_cells; }
    // The model file's index of each candidate, which each cell shows over
    // its tile; the candidate's own number until they are given.
    void SetTextureIndices(std::vector<uint32_t> indices) { m_textureIndices = std::move(indices); }
    // The cell in the number box, outlined in the preview.
    int GetSelectedCell() const;

    // "Toggle->": the cell in the number box moves on to its next tile. Text
    // that is not a number counts as 0; other numbers outside 0 to 15 change nothing.
    void OnToggle();
    // A click on a tile of the preview puts its cell in the number box.
    void SelectCell(int cell);
    // Draws the preview: each cell's tile at 128 × 128, cell 0 at the top-left.
    void PaintPreview(QPainter& painter) const;

    // Where each cell's marks go: the texture's index in a box at its
    // top-left, and the selected cell's outline along its edge.
    static constexpr int kLabelWidth = 34;
    static constexpr int kLabelHeight = 15;
    static constexpr int kOutlineWidth = 3;

protected:
    // Enter in the number box selects the cell typed, rather than saving.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CMapCells m_cells;
    std::vector<QImage> m_halfTiles;  // each candidate at half size
    std::vector<uint32_t> m_textureIndices;
    QSpinBox* m_spinCell = nullptr;
    QWidget* m_pPreview = nullptr;
};

// Create Map Bitmap: the dialog over the open model file's tiles, then the
// save dialog, then the map written. parent is the window the dialogs belong to.
void RunMapMaker(CTavrelDoc& doc, QWidget* parent);
