#include "app/TextureList.h"

#include <QItemSelectionModel>
#include <QListView>

#include "app/DibDisplay.h"
#include "doc/TavrelDoc.h"

CTextureListModel::CTextureListModel(CTavrelDoc* pDoc, QObject* parent)
    : QAbstractListModel(parent)
    , m_pDoc(pDoc)
{
}

std::vector<const CDibImage*> CTextureListModel::Records() const
{
    std::vector<const CDibImage*> records;
    if (m_pDoc->GetFileKind() != kFileKindNif || m_pDoc->IsBusy())
        return records;
    const uint32_t count = m_pDoc->ImageCount();
    for (size_t i = 0; i < count; ++i)
        records.push_back(m_pDoc->ImageAt(uint32_t(i)));
    return records;
}

void CTextureListModel::Refresh(bool bForce)
{
    std::vector<const CDibImage*> records = Records();
    if (!bForce && records == m_records)
        return;
    beginResetModel();
    m_records = std::move(records);
    m_thumbnails.clear();
    endResetModel();
}

int CTextureListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

QVariant CTextureListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_records.size()))
        return {};
    const int row = index.row();
    const CDibImage* dib = m_records[size_t(row)];
    const bool readable = dib && dib->GetBitmapInfo();
    switch (role) {
    case Qt::DisplayRole:
        if (!readable)
            return QStringLiteral("%1: unreadable").arg(row);
        return QStringLiteral("%1: %2 * %3, %4 bits")
            .arg(row)
            .arg(dib->GetWidth())
            .arg(std::abs(dib->GetHeight()))
            .arg(dib->GetBitCount());
    case Qt::DecorationRole: {
        // Made when the row is first drawn; the records live until the next Refresh.
        auto it = m_thumbnails.find(row);
        if (it == m_thumbnails.end()) {
            QPixmap thumbnail(kThumbnailEdge, kThumbnailEdge);
            thumbnail.fill(Qt::transparent);
            if (readable && !m_pDoc->IsBusy()) {
                const QImage small = DibThumbnail(*dib, kThumbnailEdge);
                thumbnail = QPixmap::fromImage(small);
            }
            it = m_thumbnails.insert(row, thumbnail);
        }
        return *it;
    }
    case Qt::SizeHintRole: return QSize(kThumbnailEdge * 4, kThumbnailEdge + 6);
    default: return {};
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
