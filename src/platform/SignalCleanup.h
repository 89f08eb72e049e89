#pragma once
// What a process removes when SIGINT, SIGTERM or SIGHUP ends it: the files of
// its private temporary folder, the folder itself, and a new file's temporary
// name. The command-line tool installs the handlers; the window program ends
// through its normal path instead, which removes the same paths.
#include <string>

// Adds a path to remove on those signals (files before folders), as many as
// are registered at once; a path longer than the system's limit is not kept.
void RegisterCleanupPath(const std::string& path, bool bFolder = false);
void UnregisterCleanupPath(const std::string& path);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the registered
// paths and then end the process by the same signal, and ignores SIGXFSZ, so
// that writing past the file-size limit fails with EFBIG ("File too large")
// instead of killing the process.
void InstallSignalCleanup();
