#pragma once
// Zstandard frames, as the newer Anki packages compress their collection, media map and media.
#include <string>
#include <string_view>

// True when the bytes begin with a Zstandard frame.
bool IsZstdFrame(std::string_view bytes);
// The decompressed bytes; throws Exception when they are damaged or would exceed `limit` bytes.
std::string ZstdDecompressed(std::string_view bytes, unsigned long long limit, const std::string &what);
