#include "app/AppIcons.h"

#include "app/CommandTable.h"

namespace {

QIcon OwnIcon(const QString& name, std::initializer_list<int> sizes)
{
    QIcon icon;
    for (int size : sizes)
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

}  // namespace

QIcon CommandIcon(const CommandDef& def)
{
    if (!def.pszIcon)
        return {};
    QIcon own = OwnIcon(QString::fromLatin1(def.pszIcon), {16, 32});
    if (def.pszThemeIcon)
        return QIcon::fromTheme(QString::fromLatin1(def.pszThemeIcon), own);
    return own;
}

QIcon ApplicationIcon()
{
    return OwnIcon(QStringLiteral("tavrel"), {16, 32, 48, 64, 128, 256});
}
