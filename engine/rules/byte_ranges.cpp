#include "engine/rules/byte_ranges.h"

#include <algorithm>

#include "platform/sorting.h"

std::string WithoutRanges(std::string_view text, ByteRanges ranges) {
  SortItems(ranges);
  std::string out;
  out.reserve(text.size());
  std::size_t next = 0;
  for (const auto& [begin, end] : ranges) {
    if (begin > next) out.append(text.substr(next, begin - next));
    next = std::max(next, end);
  }
  if (next < text.size()) out.append(text.substr(next));
  return out;
}
