#pragma once
// The texts of --help, --version and usage errors.

// The short usage text printed after a usage error.
extern const char kUsageText[];
// The full help: usage, what each verb does, the exit statuses.
extern const char kHelpText[];
// "tavrel-cli <version>".
const char* VersionText();
