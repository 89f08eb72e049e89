#include "app/FolderDock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdlib>
#include <map>

#include "app/ViewerCommandIds.h"
#include "doc/CommandIds.h"
#include "doc/EditOperations.h"
#include "doc/FolderWalk.h"
#include "doc/TavrelDoc.h"
#include "doc/ThreadMessages.h"
#include "image/DibImage.h"
#include "image/FileKind.h"
#include "image/RawTexture.h"
#include "platform/Exceptions.h"

namespace {

constexpr char kVisibleKey[] = "FolderDock/Visible";
constexpr char kFolderKey[] = "FolderDock/Folder";
constexpr char kChooseTitle[] = "Open Folder";
// The file's place in m_files, on its name's item; none on a folder's.
constexpr int kFileRole = Qt::UserRole + 1;
enum Column { kName, kTextures, kSize, kBits, kColumns };

QString FromStd(const std::string& text)
{
    return QFile::decodeName(text.c_str());
}

FolderDockFile ReadShapes(const FoundFile& found)
{
    FolderDockFile file;
    file.strPath = found.strPath;
    file.strSubfolder = found.strSubfolder;
    try {
        if (FileKindOfPath(found.strPath) == FileKind::Bmz) {
            const DibShape shape = CDibImage::ReadShape(found.strPath, FileKind::Bmz);
            file.shapes.push_back(
                {uint32_t(std::abs(int64_t(shape.width))), uint32_t(std::abs(int64_t(shape.height))), shape.bitCount});
        } else {
            uint64_t length = 0;
            for (const ScannedTexture& texture : ScanModelTextures(found.strPath, length))
                file.shapes.push_back(
                    {texture.shape.width, texture.shape.height, RawRecordBitCount(texture.shape.format)});
        }
    } catch (const CException& e) {
        file.strError = e.GetErrorMessage();
    } catch (const std::exception& e) {
        file.strError = e.what();
    }
    return file;
}

}  // namespace

FolderDockScan ScanFolderForDock(
    const std::string& folder, const std::function<void(size_t, size_t)>& read, const std::atomic<bool>& stop)
{
    CThreadMessages quiet;  // a reader's message has no one to go to here: the row says why
    FolderDockScan scan;
    FolderWalk walk = FindReadableFiles({folder});
    scan.errors = std::move(walk.errors);
    for (size_t i = 0; i < walk.files.size() && !stop.load(); ++i) {
        scan.files.push_back(ReadShapes(walk.files[i]));
        if (read)
            read(i + 1, walk.files.size());
    }
    return scan;
}

// Keeps a file's row when the filter names it, one of its textures' sizes
// ("256x256") or depths ("32"); a folder's row stays while any row below it does.
class CFolderFilterModel : public QSortFilterProxyModel {
public:
    CFolderFilterModel(const std::vector<FolderDockFile>& files, QObject* parent)
        : QSortFilterProxyModel(parent)
        , m_files(files)
    {
        setRecursiveFilteringEnabled(true);
    }
    void SetFilter(const QString& text)
    {
        m_text = text.trimmed();
        static const QRegularExpression size(QStringLiteral("^(\\d+)\\s*[xX*\u00d7]\\s*(\\d+)$"));
        const QRegularExpressionMatch match = size.match(m_text);
        m_width = match.hasMatch() ? match.captured(1).toLongLong() : -1;
        m_height = match.hasMatch() ? match.captured(2).toLongLong() : -1;
        bool number = false;
        m_bits = m_text.toLongLong(&number);
        if (!number)
            m_bits = -1;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (m_text.isEmpty())
            return true;
        const QModelIndex index = sourceModel()->index(row, kName, parent);
        const QVariant place = index.data(kFileRole);
        if (!place.isValid())
            return false;  // a folder: shown for the rows below it
        if (index.data().toString().contains(m_text, Qt::CaseInsensitive))
            return true;
        for (const FolderDockFile::Shape& shape : m_files[place.toULongLong()].shapes) {
            if ((m_width >= 0 && shape.width == m_width && shape.height == m_height) ||
                (m_bits >= 0 && shape.bits == m_bits))
                return true;
        }
        return false;
    }

private:
    const std::vector<FolderDockFile>& m_files;
    QString m_text;
    long long m_width = -1, m_height = -1, m_bits = -1;
};

CFolderDock::CFolderDock(CTavrelDoc* pDoc, QMainWindow* pFrame, std::function<bool(unsigned)> runCommand)
    : QDockWidget(QStringLiteral("Files"), pFrame)
    , m_pDoc(pDoc)
    , m_runCommand(std::move(runCommand))
{
    setObjectName("FolderDock");
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    m_pFilter = new QLineEdit(body);
    m_pFilter->setObjectName("FolderFilter");
    m_pFilter->setPlaceholderText(QStringLiteral("Filter: name, 256x256 or 32"));
    m_pFilter->setClearButtonEnabled(true);
    m_pStatus = new QLabel(body);
    m_pStatus->setObjectName("FolderStatus");
    m_pModel = new QStandardItemModel(0, kColumns, this);
    m_pModel->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Textures"), QStringLiteral("Size"), QStringLiteral("Bits")});
    m_pFilterModel = new CFolderFilterModel(m_files, this);
    m_pFilterModel->setSourceModel(m_pModel);
    m_pTree = new QTreeView(body);
    m_pTree->setObjectName("FolderTree");
    m_pTree->setModel(m_pFilterModel);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pTree->header()->setStretchLastSection(false);
    m_pTree->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
    layout->addWidget(m_pFilter);
    layout->addWidget(m_pTree, 1);
    layout->addWidget(m_pStatus);
    setWidget(body);
    pFrame->addDockWidget(Qt::RightDockWidgetArea, this);
    hide();

    connect(m_pFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_pFilterModel->SetFilter(text);
        if (!text.trimmed().isEmpty())
            m_pTree->expandAll();
    });
    connect(m_pTree, &QTreeView::activated, this, [this](const QModelIndex& index) { OpenRow(index); });
    connect(m_pTree, &QWidget::customContextMenuRequested, this, &CFolderDock::ShowRowMenu);
    connect(&m_watcher, &QFutureWatcher<FolderDockScan>::finished, this, &CFolderDock::OnScanDone);
    // Closed by its own button, the dock stays closed in the next run.
    connect(toggleViewAction(), &QAction::toggled, this, [](bool on) { QSettings().setValue(kVisibleKey, on); });

    const QString folder = RememberedFolder();
    if (QSettings().value(kVisibleKey, false).toBool() && !folder.isEmpty())
        ShowFolder(folder);
}

CFolderDock::~CFolderDock()
{
    if (m_pStop)
        m_pStop->store(true);
    m_watcher.waitForFinished();
}

QString CFolderDock::RememberedFolder()
{
    const QString folder = QSettings().value(kFolderKey).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

bool CFolderDock::IsSearching() const
{
    return m_watcher.isRunning();
}

void CFolderDock::ChooseAndShowFolder()
{
    QString start = m_folder.isEmpty() ? RememberedFolder() : m_folder;
    if (start.isEmpty())
        start = QFile::decodeName(m_pDoc->GetLastDir().c_str());
    const std::optional<std::string> chosen = Ui().ChooseFolder(kChooseTitle, QFile::encodeName(start).toStdString());
    if (chosen && !chosen->empty())
        ShowFolder(FromStd(*chosen));
}

void CFolderDock::ShowFolder(const QString& folder)
{
    if (m_pStop)
        m_pStop->store(true);
    m_watcher.waitForFinished();
    m_folder = QDir::cleanPath(folder);
    QSettings().setValue(kFolderKey, m_folder);
    setWindowTitle(QStringLiteral("Files - %1").arg(QFileInfo(m_folder).fileName()));
    show();
    raise();
    QSettings().setValue(kVisibleKey, true);
    m_pModel->removeRows(0, m_pModel->rowCount());
    m_files.clear();
    m_pStatus->setText(QStringLiteral("Searching..."));

    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_pStop = stop;
    const std::string root = QFile::encodeName(m_folder).toStdString();
    QPointer<QLabel> status = m_pStatus;
    m_watcher.setFuture(QtConcurrent::run([root, stop, status] {
        return ScanFolderForDock(
            root,
            [stop, status](size_t done, size_t total) {
                // Every file would flood the event queue; a step of the count is enough to see it move.
                if (done != total && done % 16 != 0)
                    return;
                QMetaObject::invokeMethod(
                    status.data(),
                    [stop, status, done, total] {
                        if (status && !stop->load())
                            status->setText(QStringLiteral("Searching... %1 of %2 files").arg(done).arg(total));
                    },
                    Qt::QueuedConnection);
            },
            *stop);
    }));
}

void CFolderDock::OnScanDone()
{
    if (m_pStop && m_pStop->load())
        return;  // replaced by a newer search, or the dock is going
    Fill(m_watcher.result());
}

void CFolderDock::Fill(const FolderDockScan& scan)
{
    m_pModel->removeRows(0, m_pModel->rowCount());
    m_files = scan.files;
    std::map<std::string, QStandardItem*> folders;  // by path relative to the folder
    const auto folderItem = [&](const std::string& subfolder) {
        QStandardItem* parent = m_pModel->invisibleRootItem();
        std::string path;
        size_t start = 0;
        while (start < subfolder.size()) {
            size_t end = subfolder.find('/', start);
            if (end == std::string::npos)
                end = subfolder.size();
            const std::string part = subfolder.substr(start, end - start);
            path += (path.empty() ? "" : "/") + part;
            QStandardItem*& item = folders[path];
            if (!item) {
                item = new QStandardItem(FromStd(part));
                QList<QStandardItem*> row{item};
                for (int c = 1; c < kColumns; ++c)
                    row << new QStandardItem();
                parent->appendRow(row);
            }
            parent = item;
            start = end + 1;
        }
        return parent;
    };
    for (size_t i = 0; i < m_files.size(); ++i) {
        const FolderDockFile& file = m_files[i];
        auto* name = new QStandardItem(FromStd(file.strPath).section('/', -1));
        name->setData(qulonglong(i), kFileRole);
        name->setToolTip(FromStd(file.strError.empty() ? file.strPath : file.strPath + "\n" + file.strError));
        QList<QStandardItem*> row{name};
        if (!file.strError.empty()) {
            row << new QStandardItem(QStringLiteral("unreadable")) << new QStandardItem() << new QStandardItem();
        } else {
            row << new QStandardItem(QString::number(file.shapes.size()));
            if (file.shapes.empty()) {
                row << new QStandardItem() << new QStandardItem();
            } else {
                const FolderDockFile::Shape& first = file.shapes.front();
                row << new QStandardItem(QStringLiteral("%1x%2").arg(first.width).arg(first.height))
                    << new QStandardItem(QString::number(first.bits));
            }
        }
        for (int c = kTextures; c < kColumns; ++c)
            row[c]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        folderItem(file.strSubfolder)->appendRow(row);
    }
    m_pFilterModel->SetFilter(m_pFilter->text());
    m_pTree->expandAll();
    for (int c = kTextures; c < kColumns; ++c)
        m_pTree->resizeColumnToContents(c);
    QString status = QStringLiteral("%1 files").arg(m_files.size());
    if (!scan.errors.empty())
        status += QStringLiteral("; %1 could not be searched").arg(scan.errors.size());
    m_pStatus->setText(status);
    m_pStatus->setToolTip(FromStd([&] {
        std::string text;
        for (const std::string& error : scan.errors)
            text += (text.empty() ? "" : "\n") + error;
        return text;
    }()));
}

std::string CFolderDock::FileOf(const QModelIndex& index) const
{
    const QModelIndex name = index.sibling(index.row(), kName);
    const QVariant place = name.data(kFileRole);
    if (!place.isValid() || place.toULongLong() >= m_files.size())
        return {};
    return m_files[place.toULongLong()].strPath;
}

bool CFolderDock::OpenRow(const QModelIndex& index)
{
    const std::string path = FileOf(index);
    if (path.empty() || m_pDoc->IsBusy())
        return false;
    if (m_pDoc->GetFileKind() != FileKind::None && m_pDoc->GetFilePath() == path)
        return true;
    return m_pDoc->LoadFile(path) == LoadResult::kLoaded;
}

void CFolderDock::RunOnRow(const QModelIndex& index, unsigned nID)
{
    if (OpenRow(index))
        m_runCommand(nID);
}

void CFolderDock::ShowRowMenu(const QPoint& at)
{
    const QModelIndex index = m_pTree->indexAt(at);
    if (FileOf(index).empty())
        return;
    QMenu menu(this);
    menu.setObjectName("FolderMenu");
    const std::pair<QString, unsigned> items[] = {{QStringLiteral("&Open"), 0},
        {QStringLiteral("&Export All Textures..."), ID_FILE_EXPORT_ALL},
        {QStringLiteral("&Import Textures..."), ID_FILE_IMPORT_TEXTURES}};
    for (const auto& [text, nID] : items) {
        connect(menu.addAction(text), &QAction::triggered, this, [this, index, nID = nID] {
            if (nID == 0)
                OpenRow(index);
            else
                RunOnRow(index, nID);
        });
    }
    menu.exec(m_pTree->viewport()->mapToGlobal(at));
}
