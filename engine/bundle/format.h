// The restore bundle's files and its manifest's text: a header line, then
// one line per Change (engine/plan/change.h), tab-separated, CR LF each.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/plan/change.h"

extern const char kManifestName[];  // "manifest.txt"
extern const char kRegistryName[];  // "registry.reg"
extern const char kUndoneName[];    // "undone.txt"
// The WMI subscriptions a repair deleted, as MOF text (UTF-16LE) for a
// person to compile back with mofcomp; the undo reads the manifest.
extern const char kMofName[];  // "subscriptions.mof"
extern const char kManifestHeader[];

// A manifest larger than this names more than any repair changes.
constexpr std::size_t kLargestManifest = 64 << 20;
constexpr std::size_t kLargestRegistryFile = 16 << 20;
// The largest file a bundle copies; an OEM8 file above it is left in place.
constexpr std::size_t kLargestCopy = 256 << 20;

// The manifest's text for `changes`, and the changes of a manifest text;
// nullopt for anything that is not exactly such a text.
std::string FormatManifest(const std::vector<Change>& changes);
std::optional<std::vector<Change>> ParseManifest(std::string_view text);
std::string FormatManifestLine(const Change& change);
// The line saying that the file recorded with `copy` was left as it was.
std::string FormatRefusedLine(const Text& copy);

// The last step of a backslash path.
Text FileNameOf(const Text& path);
// A decimal number of at most 19 digits.
std::optional<std::uint64_t> ParseDecimal(const Text& text);
