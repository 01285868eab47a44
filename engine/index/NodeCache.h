// Checked images of a tree's internal nodes by block address. A descent then reads from the
// block interface only the levels it has not seen, in practice the leaf, so a search costs
// about one block read however deep the tree is.
//
// Invariants: only images of internal nodes that passed the node checks are held; the owning
// tree keeps them equal to the blocks: every write of a node through the tree replaces or
// drops its image, a released or newly allocated block is dropped, and InvalidateNodes (the
// file changed behind the tree's back) drops everything. At most Capacity images are held.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

class TNodeCache {
 public:
  static constexpr size_t Capacity = 64;

  // The image held for the address, or nullptr.
  const uint8_t* Find(uint32_t address) const {
    const auto it = FImages.find(address);
    return it == FImages.end() ? nullptr : it->second.data();
  }
  void Store(uint32_t address, const std::vector<uint8_t>& image) {
    auto it = FImages.find(address);
    if (it != FImages.end()) {
      it->second = image;
      return;
    }
    // A full cache starts over: the internal levels it serves are few and soon read again.
    if (FImages.size() >= Capacity) FImages.clear();
    FImages.emplace(address, image);
  }
  void Forget(uint32_t address) { FImages.erase(address); }
  void Clear() { FImages.clear(); }
  size_t Count() const { return FImages.size(); }

 private:
  std::unordered_map<uint32_t, std::vector<uint8_t>> FImages;
};
