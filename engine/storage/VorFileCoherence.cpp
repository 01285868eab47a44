// Inside a transaction one byte may be pending in a Dirty page and in one or more blocks at
// once. These routines keep every pending copy equal to the value written last and let reads
// see them, so that commit, whatever its order, leaves each byte as it was written last.
#include <algorithm>
#include <cstring>

#include "engine/storage/VorFile.h"
#include "platform/Exception.h"

namespace {

// The part of [address, address + count) that lies in the page at pageAddress.
struct TOverlap {
  uint64_t From;
  uint64_t To;
};

TOverlap Overlap(uint64_t pageAddress, uint32_t pageSize, uint64_t address, uint64_t count) {
  return {std::max(pageAddress, address), std::min(pageAddress + pageSize, address + count)};
}

}  // namespace

const uint8_t* TVorFile::FileForm(const TCachePage& page) {
  if (!IsCryptFlags(page.Flags)) return page.Data.get();
  FCrypt.CryptBytes(true, page.Data.get(), FPageSize, page.TableID, page.Flags,
                    FCryptBuffer.data());
  return FCryptBuffer.data();
}

void TVorFile::ReadPending(uint8_t* buffer, uint32_t count, uint32_t address) {
  InternalRead(buffer, count, address);
  if (!FInTransaction) return;
  FBlockCache.CopyPendingTo(buffer, address, count);
  CopyDirtyPagesTo(buffer, address, count);
}

void TVorFile::CopyDirtyPagesTo(uint8_t* buffer, uint64_t address, uint64_t count) {
  if (!FPageCache.HasDirtyPages()) return;
  const uint64_t end = address + count;
  for (uint64_t a = address - address % FPageSize; a < end; a += FPageSize) {
    const TCachePage* page = FPageCache.FindDirtyPage(static_cast<uint32_t>(a));
    if (page == nullptr) continue;
    const TOverlap o = Overlap(a, FPageSize, address, count);
    std::memcpy(buffer + (o.From - address), FileForm(*page) + (o.From - a), o.To - o.From);
  }
}

void TVorFile::MergeIntoDirtyPages(const uint8_t* data, uint64_t address, uint64_t count) {
  if (!FPageCache.HasDirtyPages()) return;
  const uint64_t end = address + count;
  for (uint64_t a = address - address % FPageSize; a < end; a += FPageSize) {
    TCachePage* page = FPageCache.FindDirtyPage(static_cast<uint32_t>(a));
    if (page == nullptr) continue;
    const TOverlap o = Overlap(a, FPageSize, address, count);
    if (!IsCryptFlags(page->Flags)) {
      std::memcpy(page->Data.get() + (o.From - a), data + (o.From - address), o.To - o.From);
      continue;
    }
    // Lay the raw bytes over the page's file form and read the page back from it.
    uint8_t* form = FCryptBuffer.data();
    FCrypt.CryptBytes(true, page->Data.get(), FPageSize, page->TableID, page->Flags, form);
    std::memcpy(form + (o.From - a), data + (o.From - address), o.To - o.From);
    FCrypt.CryptBytes(false, form, FPageSize, page->TableID, page->Flags, page->Data.get());
  }
}

void TVorFile::UpdateBlocksFromPages(uint64_t address, uint64_t count) {
  if (FBlockCache.Count() == 0) return;
  const uint64_t end = address + count;
  for (uint64_t a = address - address % FPageSize; a < end; a += FPageSize) {
    if (!FBlockCache.Overlaps(a, FPageSize)) continue;
    const TCachePage* page = FPageCache.FindDirtyPage(static_cast<uint32_t>(a));
    VOR_ASSERT(page != nullptr, "Page written in a transaction is not dirty", "vorFile");
    FBlockCache.UpdatePending(FileForm(*page), a, FPageSize);
  }
}

void TVorFile::RecodePage(uint8_t* data, uint32_t fromTableID, uint32_t fromFlags,
                          uint32_t toTableID, uint32_t toFlags) {
  if (!IsCryptFlags(fromFlags) && !IsCryptFlags(toFlags)) return;
  FCrypt.CryptBytes(true, data, FPageSize, fromTableID, fromFlags, FCryptBuffer.data());
  FCrypt.CryptBytes(false, FCryptBuffer.data(), FPageSize, toTableID, toFlags, data);
}

void TVorFile::DropPagesReadFromPending() {
  // Clean pages loaded in the transaction may hold pending raw bytes, or zeros for appended
  // pages that the file never got.
  for (int32_t i = 0; i < FBlockCache.Count(); ++i) {
    const TCacheBlock& b = FBlockCache.Block(i);
    FPageCache.InvalidateRange(b.Address, b.BlockSize);
  }
  if (FAppendPosition > FSizeAtStart) {
    FPageCache.InvalidateRange(FSizeAtStart, FAppendPosition - FSizeAtStart);
  }
}
