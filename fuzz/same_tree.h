// Whether two key trees hold the same registry: the same key names, values
// (name, type and data, byte for byte, in the same order) and subkeys (in
// the same order), all the way down. Classes and times are not compared:
// hive files do not keep them. Walks with a stack of its own, so any depth
// of keys is fine.
#pragma once

#include <utility>
#include <vector>

#include "registry/key_tree.h"

namespace quillprobe::fuzz {

inline bool SameTree(const registry::Key& a, const registry::Key& b) {
  std::vector<std::pair<const registry::Key*, const registry::Key*>> pending = {
      {&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (x->name() != y->name()) return false;
    const auto xv = x->values();
    const auto yv = y->values();
    if (xv.size() != yv.size()) return false;
    for (std::size_t i = 0; i < xv.size(); ++i) {
      if (xv[i].name != yv[i].name || xv[i].type != yv[i].type ||
          xv[i].data != yv[i].data) {
        return false;
      }
    }
    const auto xs = x->subkeys();
    const auto ys = y->subkeys();
    if (xs.size() != ys.size()) return false;
    for (std::size_t i = 0; i < xs.size(); ++i) {
      pending.emplace_back(xs[i].get(), ys[i].get());
    }
  }
  return true;
}

}  // namespace quillprobe::fuzz
