#pragma once
// The tool's verbs. Each returns the exit status.
#include "cli/CliOptions.h"

class CCliUiServices;

// list FILE [--json]
int RunList(const CliOptions& options, CCliUiServices& ui);
// extract FILE OUT [--index N], extract FILE --all DIR [--format F], and convert IN OUT.
int RunExtract(const CliOptions& options, CCliUiServices& ui);
// map FILE OUT [--cells C0,...,C15]
int RunMap(const CliOptions& options, CCliUiServices& ui);
// replace FILE IMAGE [--index N] [--backup] [--yes]
int RunReplace(const CliOptions& options, CCliUiServices& ui);
// alpha FILE LEVEL [--index N] [--backup]
int RunAlpha(const CliOptions& options, CCliUiServices& ui);
// import FILE DIR [--backup] [--yes] [--dry-run]
int RunImport(const CliOptions& options, CCliUiServices& ui);
