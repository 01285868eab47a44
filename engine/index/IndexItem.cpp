#include "engine/index/IndexItem.h"

#include "engine/index/IndexManager.h"
#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/VorErrors.h"

namespace {

// The definition's published properties, which an index item and its definition share.
template <typename Source>
void CopyDefinition(TIndexItem& target, const Source& source) {
  target.Hidden = source.Hidden;
  target.Primary = source.Primary;
  target.Unique = source.Unique;
  target.IndexName = source.IndexName;
  target.Maintained = source.Maintained;
  target.Memory = source.Memory;
  target.IndexPageSize = source.IndexPageSize;
  target.MaximumKeySize = source.MaximumKeySize;
  target.KeyDataOffset = source.KeyDataOffset;
  target.IndexSequence = source.IndexSequence;
  target.IndexKeyType = source.IndexKeyType;
}

}  // namespace

void TIndexItem::Assign(const TInternalIndexDef& source) {
  CopyDefinition(*this, source);
  KeyFields.Clear();
}

void TIndexItem::Assign(const TIndexItem& source) {
  if (&source == this) return;
  CopyDefinition(*this, source);
  KeyFields.Assign(source.KeyFields);
  Root = source.Root;
  Depth = source.Depth;
}

void TIndexItem::PrepareTree(const char* context) {
  TBaseIOInterface* io = FManager.IOInterface();
  if (io == nullptr) RaiseDatabaseError(8581, context, "IO Interface is unassigned");
  // Nodes are the interface's blocks: a node size from a damaged definition would make every
  // node transfer run into the neighbouring blocks.
  if (IndexPageSize != io->BlockSize()) {
    RaiseDatabaseError(8581, context,
                       IndexName + ": index page size " + std::to_string(IndexPageSize) +
                           " differs from the index block size " + std::to_string(io->BlockSize()));
  }
  KeyFields.KeyDataOffset = KeyDataOffset;
  FTree.SetKeyFields(KeyFields);
  FTree.AllocateKeyBuffers(MaximumKeySize);
  FTree.SetSortFunction(FManager.SortFunction());
  FTree.Attach(io, IndexPageSize, Depth, Root);
}

void TIndexItem::Open() {
  constexpr const char* Context = "TIndexItem.Open";
  if (FManager.IOInterface() == nullptr) {
    RaiseDatabaseError(8581, Context, "IO Interface is unassigned");
  }
  if (Root == 0 || Depth == 0) RaiseDatabaseError(8581, Context, "Not initialized");
  PrepareTree(Context);
  FTree.Open();
}

void TIndexItem::Close() {
  FTree.Close();
  FTree.SetKeyFields(TKeyFields());
  KeyFields.Clear();
}

void TIndexItem::CreateEmpty() {
  Root = 0;
  Depth = 0;
  PrepareTree("TIndexItem.CreateEmpty");
  FTree.CreateEmptyTree();
  // Reopening closes the creation's path and leaves the tree ready for searches.
  FTree.Open();
}

bool TIndexItem::SkipKeys(int n) {
  for (; n > 0; --n) {
    if (!FTree.Next()) return false;
  }
  for (; n < 0; ++n) {
    if (!FTree.Prior()) return false;
  }
  return true;
}

int TIndexItem::Insert(uint32_t address) {
  FTree.SetKeyAddress(address);
  FTree.Insert();
  return 0;
}

int TIndexItem::Delete() {
  FTree.Delete();
  return 0;
}
