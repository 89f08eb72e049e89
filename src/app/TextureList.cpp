#include "app/TextureList.h"

#include <QItemSelectionModel>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "app/DibDisplay.h"
#include "doc/TavrelDoc.h"
#include "image/DibImage.h"
#include "image/RawTexture.h"

CTextureListModel::CTextureListModel(CTavrelDoc* pDoc, QObject* parent)
    : QAbstractListModel(parent)
    , m_pDoc(pDoc)
{
}

void CTextureListModel::Refresh(bool bForce)
{
    const bool listed = m_pDoc->GetFileKind() == FileKind::Nif && !m_pDoc->IsBusy();
    const int rows = listed ? int(m_pDoc->ImageCount()) : 0;
    const uint64_t version = m_pDoc->TexturesVersion();
    if (!bForce && rows == m_nRows && version == m_nVersion)
        return;
    beginResetModel();
    m_nRows = rows;
    m_nVersion = version;
    m_thumbnails.clear();
    m_unreadable.clear();
    m_waiting.clear();
    endResetModel();
}

int CTextureListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

QVariant CTextureListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_nRows)
        return {};
    const int row = index.row();
    const RawTextureShape* shape = m_pDoc->TextureShapeAt(uint32_t(row));
    const bool readable = shape && m_pDoc->TextureLooksReadable(uint32_t(row)) && !m_unreadable.contains(row);
    switch (role) {
    case Qt::DisplayRole:
        if (!readable)
            return QStringLiteral("%1: unreadable").arg(row);
        return QStringLiteral("%1: %2 * %3, %4 bits")
            .arg(row)
            .arg(shape->width)
            .arg(shape->height)
            .arg(RawRecordBitCount(shape->format));
    case Qt::DecorationRole: {
        auto it = m_thumbnails.find(row);
        if (it != m_thumbnails.end())
            return *it;
        QPixmap blank(kThumbnailEdge, kThumbnailEdge);
        blank.fill(Qt::transparent);
        if (!readable || m_pDoc->IsBusy())
            return blank;
        // Made once the event loop is free again, so that drawing the list never waits for a read.
        if (std::find(m_waiting.begin(), m_waiting.end(), row) == m_waiting.end())
            m_waiting.push_back(row);
        if (!m_bScheduled) {
            m_bScheduled = true;
            QTimer::singleShot(0, const_cast<CTextureListModel*>(this), &CTextureListModel::MakeNextThumbnail);
        }
        return blank;
    }
    case Qt::SizeHintRole: return QSize(kThumbnailEdge * 4, kThumbnailEdge + 6);
    default: return {};
    }
}

void CTextureListModel::MakeNextThumbnail()
{
    m_bScheduled = false;
    if (m_waiting.empty() || m_pDoc->IsBusy() || m_pDoc->GetFileKind() != FileKind::Nif)
        return;
    const int row = m_waiting.front();
    m_waiting.pop_front();
    if (row < m_nRows && !m_thumbnails.contains(row)) {
        // The record the document holds, else a read of this texture alone, kept only for the picture.
        std::unique_ptr<CDibImage> owned;
        const CDibImage* dib = m_pDoc->HeldTextureAt(uint32_t(row));
        if (!dib || !dib->GetBitmapInfo()) {
            owned = m_pDoc->ReadTexture(uint32_t(row));
            dib = owned.get();
        }
        if (dib && dib->GetBitmapInfo()) {
            m_thumbnails.insert(row, QPixmap::fromImage(DibThumbnail(*dib, kThumbnailEdge)));
        } else {
            m_unreadable.insert(row);
            QPixmap blank(kThumbnailEdge, kThumbnailEdge);
            blank.fill(Qt::transparent);
            m_thumbnails.insert(row, blank);
        }
        const QModelIndex at = index(row, 0);
        emit dataChanged(at, at);
    }
    if (!m_waiting.empty()) {
        m_bScheduled = true;
        QTimer::singleShot(0, this, &CTextureListModel::MakeNextThumbnail);
    }
}

QListView* CreateTextureListView(CTavrelDoc* pDoc, CTextureListModel* pModel, QWidget* parent)
{
    auto* list = new QListView(parent);
    list->setObjectName("TextureList");
    // Rows of one size: the list asks for no row's picture until it is shown.
    list->setUniformItemSizes(true);
    list->setIconSize(QSize(CTextureListModel::kThumbnailEdge, CTextureListModel::kThumbnailEdge));
    list->setModel(pModel);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(
        list->selectionModel(), &QItemSelectionModel::currentChanged, list, [pDoc](const QModelIndex& current) {
            if (current.isValid() && uint32_t(current.row()) != pDoc->GetCurrentIndex())
                pDoc->SelectImage(uint32_t(current.row()));
        });
    return list;
}

void SelectShownTexture(QListView* pList, const CTavrelDoc& doc)
{
    const QModelIndex index = pList->model()->index(int(doc.GetCurrentIndex()), 0);
    if (index.isValid() && pList->currentIndex() != index) {
        pList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        pList->scrollTo(index);
    }
}
