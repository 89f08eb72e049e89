#include "app/MapMakerDlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "doc/ExportTypes.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/UiServices.h"

namespace {

constexpr int kHalfTile = kMapTileSize / 2;
constexpr int kPreviewSize = kMapColumns * kHalfTile;
constexpr char kNoTiles[] = "This file holds no 256 * 256 images.";
constexpr char kMapType[] = "Bitmap File (*.bmp)";
constexpr char kMapFilter[] = "Bitmap File (*.bmp)|*.bmp||";

// The preview, painted by the dialog; a click selects the cell under it.
class CMapPreview : public QWidget {
public:
    explicit CMapPreview(CMapMakerDlg* dialog)
        : QWidget(dialog)
        , m_pDialog(dialog)
    {
        setObjectName("MapPreview");
        setFixedSize(kPreviewSize, kPreviewSize);
        setAttribute(Qt::WA_OpaquePaintEvent);  // the tiles cover it all
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_pDialog->PaintPreview(painter);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        if (rect().contains(at))
            m_pDialog->SelectCell(at.y() / kHalfTile * kMapColumns + at.x() / kHalfTile);
    }

private:
    CMapMakerDlg* m_pDialog;
};

// A candidate at half size, smoothly scaled from the very pixels the map gets.
QImage HalfTile(const CDibImage& tile)
{
    QImage full(kMapTileSize, kMapTileSize, QImage::Format_BGR888);
    if (full.isNull() || !CopyTileRows(tile, full.bits(), full.bytesPerLine()))
        full.fill(Qt::black);
    return full.convertToFormat(QImage::Format_RGB32)
        .scaled(kHalfTile, kHalfTile, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The number in the box as the classic dialogs read it: leading digits, else 0.
long CellNumber(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    errno = 0;
    const long value = std::strtol(bytes.constData(), nullptr, 10);
    return errno == ERANGE ? LONG_MAX : value;
}

}  // namespace

CMapMakerDlg::CMapMakerDlg(std::vector<const CDibImage*> candidates, QWidget* parent)
    : QDialog(parent)
    , m_cells(std::move(candidates))
{
    setObjectName("MapMakerDlg");
    setWindowTitle(QStringLiteral("Map Maker"));
    setModal(true);
    for (int i = 0; i < m_cells.CandidateCount(); ++i)
        m_halfTiles.push_back(HalfTile(*m_cells.GetCandidate(i)));

    m_pPreview = new CMapPreview(this);

    auto* toggle = new QPushButton(QStringLiteral("Toggle->"), this);
    toggle->setObjectName("MapToggle");
    connect(toggle, &QPushButton::clicked, this, &CMapMakerDlg::OnToggle);

    m_spinCell = new QSpinBox(this);
    m_spinCell->setObjectName("MapCellNumber");
    m_spinCell->setRange(0, kMapCellCount - 1);
    m_spinCell->setValue(0);
    m_spinCell->installEventFilter(this);
    connect(m_spinCell, &QSpinBox::valueChanged, m_pPreview, qOverload<>(&QWidget::update));

    auto* hint = new QLabel(QStringLiteral("Toggle to find correct image."), this);
    hint->setObjectName("MapHint");

    auto* save = new QPushButton(QStringLiteral("Save Map"), this);
    save->setObjectName("MapSave");
    save->setDefault(true);
    connect(save, &QPushButton::clicked, this, &QDialog::accept);

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("MapCancel");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* controls = new QHBoxLayout;
    controls->addWidget(toggle);
    controls->addWidget(m_spinCell);
    controls->addWidget(hint);
    controls->addStretch(1);
    controls->addWidget(save);
    controls->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPreview, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The focus starts on "Toggle->", so Enter toggles until another control takes it.
    toggle->setFocus();
}

void CMapMakerDlg::OnToggle()
{
    const long cell = CellNumber(m_spinCell->text());
    if (cell >= 0 && cell < kMapCellCount)
        m_cells.Toggle(static_cast<int>(cell));
    m_pPreview->update();
}

void CMapMakerDlg::SelectCell(int cell)
{
    m_spinCell->setValue(cell);
}

int CMapMakerDlg::GetSelectedCell() const
{
    return m_spinCell->value();
}

bool CMapMakerDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_spinCell && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const long cell = CellNumber(m_spinCell->text());
            if (cell >= 0 && cell < kMapCellCount)
                SelectCell(static_cast<int>(cell));
            m_pPreview->update();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMapMakerDlg::PaintPreview(QPainter& painter) const
{
    for (int n = 0; n < kMapCellCount; ++n) {
        const QPoint at(kHalfTile * (n % kMapColumns), kHalfTile * (n / kMapColumns));
        const int shown = m_cells.GetCell(n);
        if (shown == CMapCells::kEmpty)
            painter.fillRect(QRect(at, QSize(kHalfTile, kHalfTile)), Qt::black);
        else
            painter.drawImage(at, m_halfTiles[static_cast<size_t>(shown)]);
    }
    // The marks go over the tiles: each cell's texture index, the selected cell's outline.
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(kLabelHeight - 3);
    painter.setFont(font);
    for (int n = 0; n < kMapCellCount; ++n) {
        const int shown = m_cells.GetCell(n);
        if (shown == CMapCells::kEmpty)
            continue;
        const QRect label(kHalfTile * (n % kMapColumns), kHalfTile * (n / kMapColumns), kLabelWidth, kLabelHeight);
        painter.fillRect(label, QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        const size_t i = static_cast<size_t>(shown);
        painter.drawText(label, Qt::AlignCenter,
            QString::number(i < m_textureIndices.size() ? qint64(m_textureIndices[i]) : qint64(shown)));
    }
    const int cell = GetSelectedCell();
    const QRect selected(kHalfTile * (cell % kMapColumns), kHalfTile * (cell / kMapColumns), kHalfTile, kHalfTile);
    painter.setPen(QPen(QColor(255, 200, 0), kOutlineWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    const int inset = kOutlineWidth / 2;
    painter.drawRect(selected.adjusted(inset, inset, -inset - 1, -inset - 1));
    painter.restore();
}

void RunMapMaker(CTavrelDoc& doc, QWidget* parent)
{
    if (!doc.IsLargeFile() || doc.IsBusy())
        return;
    MapCandidates candidates = CollectMapCandidates(doc);
    if (candidates.images.empty()) {
        AfxMessageBox(kNoTiles, MB_OK);
        return;
    }
    CMapMakerDlg dialog(candidates.images, parent);
    dialog.SetTextureIndices(std::move(candidates.indices));
    // A cancelled save dialog goes back to the arrangement, as it was.
    while (dialog.exec() == QDialog::Accepted) {
        // The model file's folder: the program's own is no place for a user's files.
        FileDialogRequest request;
        request.bOpen = false;
        request.strFilter = kMapFilter;
        request.strInitialDir = DirectoryPart(doc.GetFilePath());
        request.nFlags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
        request.strDefExt = "bmp";  // asked about under the name it will have
        const std::optional<FileDialogResult> chosen = Ui().FileDialog(request);
        if (!chosen || chosen->strPath.empty())
            continue;
        CWaitCursor wait;
        SaveMapBitmap(dialog.GetCells(), ResolveTypedName(ParseExportTypes(kMapType), chosen->strPath, 1).strPath);
        return;
    }
}
