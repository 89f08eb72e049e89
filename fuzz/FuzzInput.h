#pragma once
// Writes a fuzz input to a file of a process-private folder, since every reader
// takes a path; the platform services stay silent.
#include <cstddef>
#include <cstdint>
#include <string>

std::string WriteFuzzInput(const uint8_t* data, size_t size, const char* name);
