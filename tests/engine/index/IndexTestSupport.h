// Helpers for the index tests: record buffers laid out like stored records, key fields over
// them, a tree over a real database file or over memory blocks, raw access to node blocks, an
// independent checker of a whole tree on file, and catching engine errors.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/index/BTree.h"
#include "engine/index/KeyFields.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

namespace index_test {

// The engine error code fn raised; 0 when none, -1 for an assertion failure.
inline int ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EVorDatabaseError& e) {
    return e.ErrorCode;
  } catch (const EAssertionFailed&) {
    return -1;
  }
  return 0;
}

// ---- records and key fields ----

struct TFieldSpec {
  TFieldType Type = ftInteger;
  int32_t Size = 0;  // strings: the data area (declared size + 1); others: taken from the type
  bool Descending = false;
  bool CaseInsensitive = false;
};

// Fields laid out as a stored record: 14 header bytes, one null flag per field, then the data
// areas, a string's preceded by its 2-byte size marker.
class TRecordLayout {
 public:
  static constexpr int32_t HeaderSize = 14;
  static constexpr int32_t RecordIdOffset = 6;

  explicit TRecordLayout(std::vector<TFieldSpec> fields) : FFields(std::move(fields)) {
    int32_t offset = HeaderSize + static_cast<int32_t>(FFields.size());
    for (TFieldSpec& f : FFields) {
      if (f.Type != ftString) f.Size = keydata::ValueSize(f.Type);
      if (f.Type == ftString) {
        FMarkerOffsets.push_back(offset);
        offset += 2;
      } else {
        FMarkerOffsets.push_back(0);
      }
      FDataOffsets.push_back(offset);
      offset += f.Size;
    }
    FRecordSize = offset;
  }

  int32_t RecordSize() const { return FRecordSize; }
  int Count() const { return static_cast<int>(FFields.size()); }
  const TFieldSpec& Field(int i) const { return FFields[i]; }
  int32_t NullFlagOffset(int i) const { return HeaderSize + i; }
  int32_t DataOffset(int i) const { return FDataOffsets[i]; }
  int32_t MarkerOffset(int i) const { return FMarkerOffsets[i]; }

  // Key fields over all fields in order, plus the hidden record id of a non-unique index.
  void AddKeyFields(TKeyFields& keys, bool hiddenRecordId, bool hiddenDescending = false) const {
    const std::string index = "Idx";
    for (int i = 0; i < Count(); ++i) {
      TKeyFieldItem& k = keys.Add();
      k.IndexName = index;
      k.FieldName = "F" + std::to_string(i);
      k.DataType = FFields[i].Type;
      k.FieldSize = FFields[i].Size;
      k.IsVariable = FFields[i].Type == ftString;
      k.Descending = FFields[i].Descending;
      k.CaseInsensitive = FFields[i].CaseInsensitive;
      k.RecBufOffset = DataOffset(i);
      k.NullFlagOffset = NullFlagOffset(i);
      k.SizeMarkerOffset = MarkerOffset(i);
      k.PhysicalFieldNo = i;
      k.KeyIndex = i;
    }
    if (hiddenRecordId) {
      TKeyFieldItem& k = keys.Add();
      k.IndexName = index;
      k.Hidden = true;
      k.DataType = ftInteger;
      k.FieldSize = 4;
      k.Descending = hiddenDescending;
      k.RecBufOffset = RecordIdOffset;
      k.NullFlagOffset = 0;  // the live marker, 1 in every stored record
      k.PhysicalFieldNo = -1;
      k.KeyIndex = Count();
    }
    keys.KeyDataOffset = keys.Count() / 8 + 1;
  }

 private:
  std::vector<TFieldSpec> FFields;
  std::vector<int32_t> FDataOffsets;
  std::vector<int32_t> FMarkerOffsets;
  int32_t FRecordSize = 0;
};

class TRecord {
 public:
  explicit TRecord(const TRecordLayout& layout, uint32_t recordId = 1)
      : FLayout(&layout), FBytes(static_cast<size_t>(layout.RecordSize()), 0) {
    FBytes[0] = 1;
    le::PutU32(FBytes.data() + TRecordLayout::RecordIdOffset, recordId);
  }
  TRecord& Null(int i) {
    FBytes[FLayout->NullFlagOffset(i)] = 0;
    return *this;
  }
  TRecord& Int(int i, int64_t v) {
    uint8_t* p = Present(i);
    switch (FLayout->Field(i).Type) {
      case ftSmallint:
      case ftWord:
        le::PutU16(p, static_cast<uint16_t>(v));
        break;
      case ftBoolean:
        p[0] = static_cast<uint8_t>(v);
        break;
      default:
        le::PutU32(p, static_cast<uint32_t>(v));
    }
    return *this;
  }
  TRecord& Float(int i, double v) {
    le::PutDouble(Present(i), v);
    return *this;
  }
  TRecord& Str(int i, const std::string& s) {
    uint8_t* p = Present(i);
    std::memset(p, 0, static_cast<size_t>(FLayout->Field(i).Size));
    std::memcpy(p, s.data(), s.size());
    le::PutU16(FBytes.data() + FLayout->MarkerOffset(i), static_cast<uint16_t>(s.size()));
    return *this;
  }
  std::span<const uint8_t> Bytes() const { return FBytes; }
  std::vector<uint8_t>& Raw() { return FBytes; }

 private:
  uint8_t* Present(int i) {
    FBytes[FLayout->NullFlagOffset(i)] = 1;
    return FBytes.data() + FLayout->DataOffset(i);
  }
  const TRecordLayout* FLayout;
  std::vector<uint8_t> FBytes;
};

// ---- stores ----

enum class TStore { Memory, Disk };

inline const char* StoreName(TStore store) {
  return store == TStore::Memory ? "Memory" : "Disk";
}

class TScratchDir {
 public:
  TScratchDir() {
    std::random_device random;
    const auto path = std::filesystem::temp_directory_path() /
                      ("ox-index-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path);
    FPath = path.string();
  }
  ~TScratchDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

// Node blocks in memory, or in a fresh database file through an index interface (usage 8).
class TBlockStore {
 public:
  TBlockStore(TStore store, int32_t nodeSize) : FStore(store) {
    if (store == TStore::Memory) {
      auto io = std::make_unique<TMemoryIOInterface>();
      io->SetBlockSize(nodeSize);
      io->SetUsage(dbfile::UsageIndex);
      io->Open();
      FMemory = io.get();
      FIO = std::move(io);
      return;
    }
    FDir = std::make_unique<TScratchDir>();
    FDiskMgr = std::make_unique<TDiskMgr>();
    FDiskMgr->SetFileName(FDir->File("index.vor"));
    FDiskMgr->SetPageSize(4096);
    FDiskMgr->SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr->CreateNewFile(true);
    FDiskMgr->Open();
    auto io = std::make_unique<TDiskIOInterface>();
    io->SetDiskMgr(FDiskMgr.get());
    io->SetBlockSize(nodeSize);
    io->SetTableID(1);
    io->SetUsage(dbfile::UsageIndex);
    io->SetPageFlags(1);
    io->SetFirstEmpty(0);
    io->SetFirstEmptyValidated(true);
    io->Open();
    FIO = std::move(io);
  }
  ~TBlockStore() {
    FIO.reset();
    if (FDiskMgr) FDiskMgr->Close();
  }

  TBaseIOInterface& IO() { return *FIO; }
  TStore Store() const { return FStore; }
  // Blocks held by a memory store; -1 for a file.
  int64_t BlockCount() const {
    return FMemory != nullptr ? static_cast<int64_t>(FMemory->BlockCount()) : -1;
  }
  int64_t FileEnd() { return FDiskMgr ? FDiskMgr->FileEnd() : 0; }

 private:
  TStore FStore;
  std::unique_ptr<TScratchDir> FDir;
  std::unique_ptr<TDiskMgr> FDiskMgr;
  std::unique_ptr<TBaseIOInterface> FIO;
  TMemoryIOInterface* FMemory = nullptr;
};

// A tree over a store with its own root and depth, as an index item would hold them.
class TTestTree {
 public:
  TTestTree(TStore store, const TRecordLayout& layout, bool hiddenRecordId, int32_t nodeSize,
            TSortOrder order = soASCII, bool hiddenDescending = false)
      : FStore(store, nodeSize) {
    TKeyFields keys;
    layout.AddKeyFields(keys, hiddenRecordId, hiddenDescending);
    FTree.SetKeyFields(keys);
    FTree.SetSortOrder(order);
    FTree.AllocateKeyBuffers(KeyEntrySize(keys) + keys.KeyDataOffset);
    FTree.Attach(&FStore.IO(), nodeSize, Depth, Root);
    FTree.CreateEmptyTree();
    FTree.Open();
  }

  TBTree& Tree() { return FTree; }
  TBlockStore& Store() { return FStore; }
  TBaseIOInterface& IO() { return FStore.IO(); }
  int32_t NodeSize() const { return FTree.NodeSize(); }
  int32_t M() const { return FTree.MaxKeySize(); }

  // Inserts the record's key with the address; false when an equal key is there.
  bool Insert(const TRecord& record, uint32_t address) {
    FTree.SetSearchKeyFromRecord(record.Bytes(), nullptr);
    if (FTree.Find(fmExact) == 0) return false;
    FTree.SetKeyAddress(address);
    FTree.Insert();
    return true;
  }
  // Deletes the record's key; false when it is not there.
  bool Delete(const TRecord& record) {
    FTree.SetSearchKeyFromRecord(record.Bytes(), nullptr);
    if (FTree.Find(fmExact) != 0) return false;
    FTree.Delete();
    return true;
  }
  // Find with a search key from the record; the record address at the cursor, or 0.
  uint32_t FindAddress(const TRecord& record, int mode, const TKeyMarkers* markers = nullptr) {
    FTree.SetSearchKeyFromRecord(record.Bytes(), markers);
    return FTree.Find(mode) == 0 ? FTree.GetRecordAddress() : 0;
  }

  std::vector<uint8_t> ReadBlock(uint32_t address) {
    std::vector<uint8_t> block(static_cast<size_t>(NodeSize()));
    IO().ReadBlock(address, static_cast<uint32_t>(block.size()), block.data());
    return block;
  }
  void WriteBlock(uint32_t address, const std::vector<uint8_t>& block) {
    IO().WriteBlock(address, static_cast<uint32_t>(block.size()), block.data());
    FTree.InvalidateNodes();
  }

  uint32_t Root = 0;
  int32_t Depth = 0;

 private:
  TBlockStore FStore;
  TBTree FTree;
};

// ---- an independent reader of a tree on file ----

// Node block and key entry offsets, restated here so that the checker does not share the
// code it checks.
constexpr uint32_t BlkIsLeaf = 0, BlkUsed = 4, BlkNext = 8, BlkPrior = 12, BlkEntries = 16;
constexpr uint32_t EntLength = 0, EntCount = 2, EntAddress = 6, EntKey = 10;

struct TTreeShape {
  std::vector<uint32_t> LeafAddresses;  // record addresses in leaf order
  std::vector<std::vector<uint8_t>> Keys;
  int Depth = 0;
  int64_t Nodes = 0;
  int64_t Leaves = 0;
  int MinEntries = 1 << 30;  // the fewest entries of any node below the root
};

// Walks the whole tree from Root and checks every rule of its shape; failures are reported
// through gtest with the block address.
class TTreeChecker {
 public:
  explicit TTreeChecker(TTestTree& t) : FT(t), FM(t.M()) {}

  TTreeShape Check() {
    TTreeShape shape;
    shape.Depth = FT.Depth;
    FPrevLeaf = 0;
    FLastKey.clear();
    CheckNode(FT.Root, 0, shape);
    if (FPrevLeaf != 0) {
      EXPECT_EQ(U32(FT.ReadBlock(FPrevLeaf), BlkNext), 0u) << "last leaf " << FPrevLeaf;
    }
    return shape;
  }

 private:
  static uint32_t U32(const std::vector<uint8_t>& b, size_t o) { return le::GetU32(b.data() + o); }

  // Returns the number of keys below; fills firstKey with the node's first entry.
  int64_t CheckNode(uint32_t address, int level, TTreeShape& shape) {
    const std::vector<uint8_t> block = FT.ReadBlock(address);
    ++shape.Nodes;
    const bool leaf = U32(block, BlkIsLeaf) == 1;
    const auto used = static_cast<int32_t>(U32(block, BlkUsed));
    const int count = used / FM;
    EXPECT_EQ(leaf, level == FT.Depth - 1) << "node " << address << " level " << level;
    EXPECT_EQ(used % FM, 0) << "node " << address;
    EXPECT_TRUE(count > 0 || (level == 0 && FT.Depth == 1)) << "empty node " << address;
    EXPECT_LT(used + 16 + FM, FT.NodeSize()) << "full node at rest " << address;
    if (level > 0 && count < shape.MinEntries) shape.MinEntries = count;
    int64_t keys = 0;
    for (int e = 0; e < count; ++e) {
      const uint8_t* entry = block.data() + BlkEntries + e * FM;
      EXPECT_EQ(le::GetU16(entry + EntLength), FM);
      if (leaf) {
        EXPECT_EQ(le::GetU32(entry + EntCount), 0u);
        if (!FLastKey.empty()) {
          EXPECT_GT(FT.Tree().CompareKeys(0, nullptr, FLastKey.data(), entry), 0)
              << "leaf " << address << " entry " << e << " out of order";
        }
        FLastKey.assign(entry, entry + FM);
        shape.LeafAddresses.push_back(le::GetU32(entry + EntAddress));
        shape.Keys.push_back(FLastKey);
        ++keys;
        continue;
      }
      const uint32_t child = le::GetU32(entry + EntAddress);
      const std::vector<uint8_t> childBlock = FT.ReadBlock(child);
      EXPECT_TRUE(std::equal(entry + EntKey, entry + FM, childBlock.data() + BlkEntries + EntKey))
          << "entry " << e << " of node " << address << " is not the first key of " << child;
      const int64_t below = CheckNode(child, level + 1, shape);
      EXPECT_EQ(le::GetU32(entry + EntCount), below) << "count of entry " << e << " in " << address;
      keys += below;
    }
    if (leaf) {
      ++shape.Leaves;
      EXPECT_EQ(U32(block, BlkPrior), FPrevLeaf) << "prior link of leaf " << address;
      if (FPrevLeaf != 0) {
        EXPECT_EQ(U32(FT.ReadBlock(FPrevLeaf), BlkNext), address) << "next link of " << FPrevLeaf;
      }
      FPrevLeaf = address;
    }
    return keys;
  }

  TTestTree& FT;
  int32_t FM;
  uint32_t FPrevLeaf = 0;
  std::vector<uint8_t> FLastKey;
};

}  // namespace index_test
