#pragma once
// printf-style formatting of the program's texts ("%s", "%u", ...).
#include <string>

std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));
