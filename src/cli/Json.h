#pragma once
// Writing JSON text.
#include <string>
#include <string_view>

// The text as a quoted JSON string. Quotes, backslashes and control characters
// are escaped; bytes that are not valid UTF-8 (file names on Linux may hold
// any bytes) become U+FFFD, so the output is always valid JSON.
std::string JsonString(std::string_view text);
