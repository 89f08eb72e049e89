#include "app/FileFilter.h"

#include <QRegularExpression>

QStringList NameFiltersFromFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() || patterns.isEmpty())
            break;  // the "||" that ends the list
        // Qt reads the patterns from the last parentheses of the name, separated
        // by spaces: rebuild them from the pattern part.
        static const QRegularExpression trailingGroup(QStringLiteral("\\s*\\([^()]*\\)$"));
        description.remove(trailingGroup);
        QString spaced = patterns;
        spaced.replace(';', ' ');
        filters.push_back(description + QStringLiteral(" (") + spaced.simplified() + QStringLiteral(")"));
    }
    return filters;
}
