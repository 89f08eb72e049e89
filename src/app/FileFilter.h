#pragma once
// The core's file-type filters ("Desc (*.ext)|*.ext|...||") as the name
// filters of Qt's file dialog ("Desc (*.ext)").
#include <QStringList>

#include <string>

QStringList NameFiltersFromFilter(const std::string& filter);
