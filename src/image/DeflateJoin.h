#pragma once
// Joining raw deflate streams made apart (on different threads) into one: a
// stream is walked block by block to find its final block, which is made
// not final, and an empty stored block brings its end to a byte boundary, so
// that the next stream's blocks follow it as if one compressor had made both.
#include <cstddef>
#include <cstdint>
#include <vector>

// Makes the complete raw deflate stream joinable in place; false (the stream
// unchanged) when it is not a whole, sound stream.
bool MakeDeflateJoinable(std::vector<uint8_t>& stream);
// The same on a buffer: stream[0, size) is the stream, capacity at least
// size + kDeflateJoinSlack. Returns the new size, or 0 (the stream unchanged).
size_t MakeDeflateJoinable(uint8_t* stream, size_t size, size_t capacity);
// The most bytes that making a stream joinable adds.
inline constexpr size_t kDeflateJoinSlack = 5;
