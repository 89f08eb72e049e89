#pragma once
// The folders that file dialogs were last used in, remembered between runs
// under the name the dialog's request gives (Open, Replace).
#include <QString>

#include <string>

// The folder last remembered under the name; empty when there is none, or it no longer exists.
QString RememberedFolder(const std::string& name);
void RememberFolder(const std::string& name, const QString& folder);
