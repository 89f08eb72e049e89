#pragma once
// The tool's verbs. Each returns the exit status.
#include <string>

#include "cli/CliOptions.h"

class CCliUiServices;

// list FILE [--json]
int RunList(const CliOptions& options, CCliUiServices& ui);
// extract FILE OUT [--index N], extract FILE --all DIR [--format F], and convert IN OUT.
int RunExtract(const CliOptions& options, CCliUiServices& ui);
// map FILE OUT [--cells C0,...,C15]
int RunMap(const CliOptions& options, CCliUiServices& ui);
// The file an editing verb writes: FILE, or with --follow-link the file that a
// model file without textures links to. Throws CCoreError naming the linked
// file when there is a link and --follow-link was not given.
std::string EditTarget(const CliOptions& options);
// replace FILE IMAGE [--index N] [--backup] [--yes] [--follow-link]
int RunReplace(const CliOptions& options, CCliUiServices& ui);
// alpha FILE LEVEL [--index N] [--backup] [--follow-link]
int RunAlpha(const CliOptions& options, CCliUiServices& ui);
// import FILE DIR [--backup] [--yes] [--dry-run] [--follow-link]
int RunImport(const CliOptions& options, CCliUiServices& ui);

// The folder forms (several paths, or a folder): FolderCommands.cpp.
// list PATH... [--json]: the listing with a file column, or {"files": [...]}.
int RunListFiles(const CliOptions& options, CCliUiServices& ui);
// extract PATH... --all DIR: each file's images below DIR in its folder relative to its root.
int RunExtractFolder(const CliOptions& options, CCliUiServices& ui);
// import PATH... DIR: every file checked first; nothing written if any is refused.
int RunImportFolder(const CliOptions& options, CCliUiServices& ui);
// thumbnail FILE OUT.png [--size N]: the first image, scaled to fit N x N.
int RunThumbnail(const CliOptions& options, CCliUiServices& ui);
