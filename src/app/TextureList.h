#pragma once
// The list of the open model file's textures beside the view: a small
// picture of each, its index, size and depth. The rows come from the
// textures' fields; a picture is made after its row is first drawn, one at a
// time from the event loop, from a read of that texture alone, so a large
// file opens as fast with the list as without it.
#include <QAbstractListModel>
#include <QHash>
#include <QPixmap>
#include <QSet>

#include <cstdint>
#include <deque>

class CTavrelDoc;
class QListView;

class CTextureListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit CTextureListModel(CTavrelDoc* pDoc, QObject* parent = nullptr);

    // Follows the document: rebuilds the rows when its textures changed, or
    // always (bForce) after a load or a write, which may have changed pixels
    // the fields do not show. While the document is busy the list is empty.
    void Refresh(bool bForce = false);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    static constexpr int kThumbnailEdge = 48;

private:
    // Makes the next waiting picture, and asks to be called again while any wait.
    void MakeNextThumbnail();

    CTavrelDoc* m_pDoc;
    int m_nRows = 0;
    uint64_t m_nVersion = 0;
    mutable QHash<int, QPixmap> m_thumbnails;
    mutable QSet<int> m_unreadable;  // rows whose texture failed to read
    mutable std::deque<int> m_waiting;  // rows drawn before their picture was made
    mutable bool m_bScheduled = false;
};

// The list view showing the model, following the document's shown texture
// and showing the one the user picks.
QListView* CreateTextureListView(CTavrelDoc* pDoc, CTextureListModel* pModel, QWidget* parent);
// Selects the document's shown texture in the list.
void SelectShownTexture(QListView* pList, const CTavrelDoc& doc);
