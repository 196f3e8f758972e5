#include "platform/sorting.h"

void SortPointers(void** items, std::size_t count,
                  bool (*less)(const void* a, const void* b, const void* context),
                  const void* context) {
  // Bottom-up merging of runs of `width`, between `items` and `spare`.
  std::vector<void*> spare(count);
  void** from = items;
  void** to = spare.data();
  for (std::size_t width = 1; width < count; width *= 2) {
    for (std::size_t left = 0; left < count; left += 2 * width) {
      const std::size_t middle = std::min(left + width, count);
      const std::size_t right = std::min(left + 2 * width, count);
      std::size_t a = left, b = middle, out = left;
      while (a < middle && b < right) {
        // The right run's element goes first only when strictly less.
        to[out++] = less(from[b], from[a], context) ? from[b++] : from[a++];
      }
      while (a < middle) to[out++] = from[a++];
      while (b < right) to[out++] = from[b++];
    }
    std::swap(from, to);
  }
  if (from != items) {
    for (std::size_t at = 0; at < count; ++at) items[at] = from[at];
  }
}
