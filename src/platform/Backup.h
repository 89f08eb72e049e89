#pragma once
// Backup copies of a file about to be written. A backup never replaces or
// removes anything: the first is FILE.bak, later ones FILE.2.bak, FILE.3.bak,
// and so on, each beside the file. A name that exists in any form (a file, a
// folder, a link, a FIFO, a device) is passed over for the next free one, and
// the copy is created exclusively, never through a link. Its bytes reach the
// disk before the copy counts as made.
#include <string>

// The name of the n-th backup of path (n from 1): path.bak, path.2.bak, ...
std::string BackupName(const std::string& path, unsigned n);

// Copies path to its next free backup name and returns that name. Throws
// CCoreError, with the system's reason and no copy left behind, when the copy
// cannot be made whole, or when the folder is not writable or marked read-only
// (also for the administrator, as for the writes themselves).
std::string MakeBackup(const std::string& path);
