#pragma once
// The list of the open model file's textures beside the view: a small
// picture of each, its index, size and depth. The pictures are made only when
// a row is first shown, so a large file opens as fast without the list.
#include <QAbstractListModel>
#include <QHash>
#include <QPixmap>

#include <vector>

class CDibImage;
class CTavrelDoc;
class QListView;

class CTextureListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit CTextureListModel(CTavrelDoc* pDoc, QObject* parent = nullptr);

    // Follows the document: rebuilds the rows when its textures changed, or
    // always (bForce) after a load or a write, which may have put new records
    // where the old ones were. While the document is busy the list is empty.
    void Refresh(bool bForce = false);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    static constexpr int kThumbnailEdge = 48;

private:
    std::vector<const CDibImage*> Records() const;

    CTavrelDoc* m_pDoc;
    std::vector<const CDibImage*> m_records;
    mutable QHash<int, QPixmap> m_thumbnails;
};

// The list view showing the model, following the document's shown texture
// and showing the one the user picks.
QListView* CreateTextureListView(CTavrelDoc* pDoc, CTextureListModel* pModel, QWidget* parent);
// Selects the document's shown texture in the list.
void SelectShownTexture(QListView* pList, const CTavrelDoc& doc);
