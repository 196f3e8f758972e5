// Mozilla's LZ4 file frame (search.json.mozlz4, addonStartup.json.lz4): the
// magic "mozLz40\0", the decompressed size as 4 bytes little-endian, and one
// LZ4 block (IOUtils' compress option, dom/system/IOUtils.cpp; docs/search-engines.md).
// The block is LZ4's own code: the distribution's library on the host, the
// same release's lib/lz4.c in the Windows build.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The largest decompressed size read: Firefox's search settings are a few
// kilobytes, tens with many engines' icons.
constexpr std::size_t kLargestMozLz4Text = 16u << 20;

enum class MozLz4Fault {
  kNone,
  kNotMozLz4,  // no magic, or shorter than the header
  kTooLarge,   // declares more than kLargestMozLz4Text
  kDamaged,    // not one whole LZ4 block ending where the file ends
  kSizeLies,   // the block holds more or fewer bytes than declared
};

// The text a frame holds, or why not.
MozLz4Fault DecodeMozLz4(std::string_view file, std::string* text);

// The frame holding `text` (at most kLargestMozLz4Text bytes).
std::string EncodeMozLz4(std::string_view text);
