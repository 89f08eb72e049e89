#include "app/DialogFolders.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QString Key(const std::string& name)
{
    return QStringLiteral("Folders/") + QString::fromStdString(name);
}

}  // namespace

QString RememberedFolder(const std::string& name)
{
    if (name.empty())
        return {};
    const QString folder = QSettings().value(Key(name)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolder(const std::string& name, const QString& folder)
{
    if (name.empty() || folder.isEmpty())
        return;
    // An unchanged value is not written: each write rewrites the settings file and waits for the disk.
    QSettings settings;
    if (settings.value(Key(name)).toString() != folder)
        settings.setValue(Key(name), folder);
}
