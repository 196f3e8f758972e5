// The parts of a text a repair removes, kept as byte offsets so a plan holds
// the text once and the edited copy is made only when it is written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// [begin, end) byte offsets into one text.
using ByteRanges = std::vector<std::pair<std::size_t, std::size_t>>;

// `text` without `ranges`, which may come in any order and overlap.
std::string WithoutRanges(std::string_view text, ByteRanges ranges);
