// A few texts without repeats, kept in the order first added: the handful of
// hosts, keys or folders one finder gathers. A search tree's code would
// weigh more in the programs than these lookups ever cost (bench/size.sh).
#pragma once

#include <vector>

#include "platform/text.h"

class TextSet {
 public:
  // False when `text` is in the set already.
  bool insert(const Text& text) {
    if (contains(text)) return false;
    texts_.push_back(text);
    return true;
  }
  bool contains(const Text& text) const { return HasText(texts_, text); }
  std::size_t size() const { return texts_.size(); }
  std::vector<Text>::const_iterator begin() const { return texts_.begin(); }
  std::vector<Text>::const_iterator end() const { return texts_.end(); }

 private:
  std::vector<Text> texts_;
};
