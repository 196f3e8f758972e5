// Sorting with one body for every element type. The library's introsort is
// about a kilobyte for each type sorted, six times over in the programs;
// this is one stable merge sort over pointers, and a small adapter a type
// (bench/size.sh). Lists sorted here are short: logs, bundles, a key's
// values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

// Sorts `items` (pointers to elements) stably by `less`, given `context`.
void SortPointers(void** items, std::size_t count,
                  bool (*less)(const void* a, const void* b, const void* context),
                  const void* context);

template <typename T, typename Less = std::less<T>>
void SortItems(std::vector<T>& items, Less less = Less()) {
  std::vector<void*> order(items.size());
  for (std::size_t at = 0; at < items.size(); ++at) order[at] = &items[at];
  SortPointers(
      order.data(), order.size(),
      [](const void* a, const void* b, const void* context) {
        return (*static_cast<const Less*>(context))(*static_cast<const T*>(a),
                                                    *static_cast<const T*>(b));
      },
      &less);
  std::vector<T> sorted;
  sorted.reserve(items.size());
  for (void* item : order) sorted.push_back(std::move(*static_cast<T*>(item)));
  items.swap(sorted);
}
