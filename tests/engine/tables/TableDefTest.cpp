// The table definition object itself: Clear, Assign, the repair of key-field index names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TableDefTestSupport.h"

namespace {

using namespace tabledef_test;

void FillEverything(TTableDef& def) {
  BuildDefinition(def, "Produkty", ProductFields(), {"ixID", "ixOpis"});
  def.SetTableID(5);
  def.SetOwnerFlag(80);
  def.SetAltName("alt");
  def.SetVersion("1.30.02");
  def.SetOS("NT: 2.10.0.19045 ");
  def.SetCreationDate(45000.25);
  def.SetLastModDate(45001.5);
  def.SetCreatedBy("jan");
  def.SetPassword("tajne");
  def.SetEncrypted(true);
  def.SetSecurityLevel(2);
  def.SetDefaultBlobSize(1024);
  def.SetUsesBlobs(true);
  def.SetSortOrder(soASCII);
  def.SetInternalTable(true);
  def.SetEncryptionLevel(encStrong);
  def.SetPrivileges(0x1F);
}

TEST(TableDefTest, ClearStartsAfresh) {
  TTableDef def;
  FillEverything(def);
  def.SetOpenCount(3);
  def.Clear();
  TTableDef fresh;
  EXPECT_EQ(def.TableID(), 0);
  EXPECT_EQ(def.OwnerFlag(), 0u);
  EXPECT_EQ(def.TableName(), "");
  EXPECT_EQ(def.AltName(), "");
  EXPECT_EQ(def.Version(), "");
  EXPECT_EQ(def.OS(), "");
  EXPECT_EQ(def.CreatedBy(), "");
  EXPECT_EQ(def.Password(), "");
  EXPECT_EQ(def.CreationDate(), 0);
  EXPECT_EQ(def.LastModDate(), 0);
  EXPECT_FALSE(def.Encrypted());
  EXPECT_EQ(def.SecurityLevel(), 0);
  EXPECT_FALSE(def.Memory());
  EXPECT_EQ(def.RecordSize(), 0);
  EXPECT_EQ(def.DefaultBlobSize(), 512);
  EXPECT_FALSE(def.UsesBlobs());
  EXPECT_EQ(def.SortOrder(), soANSI);
  EXPECT_FALSE(def.InternalTable());
  EXPECT_EQ(def.EncryptionLevel(), encNone);
  EXPECT_EQ(def.KeyFields().Count(), 0);
  EXPECT_EQ(def.InternalFields().Count(), 0);
  EXPECT_EQ(def.InternalIndexDefs().Count(), 0);
  EXPECT_EQ(def.OpenCount(), 0);
  EXPECT_EQ(def.Privileges(), 0u);
  EXPECT_EQ(def.TableHeader(), nullptr);
  EXPECT_FALSE(def.InterfacesOpen());
}

TEST(TableDefTest, AssignLeavesTheStoredTablesOwnValues) {
  TTableDef source;
  FillEverything(source);
  TTableDef target;
  target.SetOwnerFlag(7);
  target.SetLastModDate(1.5);
  target.SetSecurityLevel(9);
  target.SetInternalTable(false);
  target.Assign(source);

  EXPECT_EQ(target.TableID(), 5);
  EXPECT_EQ(target.TableName(), "Produkty");
  EXPECT_EQ(target.AltName(), "alt");
  EXPECT_EQ(target.Version(), "1.30.02");
  EXPECT_EQ(target.OS(), source.OS());
  EXPECT_EQ(target.CreationDate(), 45000.25);
  EXPECT_EQ(target.CreatedBy(), "jan");
  EXPECT_EQ(target.Password(), "tajne");
  EXPECT_TRUE(target.Encrypted());
  EXPECT_EQ(target.EncryptionLevel(), encStrong);
  EXPECT_EQ(target.RecordSize(), source.RecordSize());
  EXPECT_TRUE(target.UsesBlobs());
  EXPECT_EQ(target.DefaultBlobSize(), 1024);
  EXPECT_EQ(target.SortOrder(), soASCII);
  EXPECT_EQ(target.Privileges(), 0x1Fu);
  EXPECT_EQ(target.KeyFields().Count(), 2);
  EXPECT_EQ(target.InternalFields().Count(), 3);
  EXPECT_EQ(target.InternalFields().Items(1).FieldGeneratorID(),
            source.InternalFields().Items(1).FieldGeneratorID());
  EXPECT_EQ(target.InternalIndexDefs().Count(), 2);
  EXPECT_EQ(target.InternalIndexDefs().Items(1).IndexName, "ixOpis");

  EXPECT_EQ(target.OwnerFlag(), 7u);
  EXPECT_EQ(target.LastModDate(), 1.5);
  EXPECT_EQ(target.SecurityLevel(), 9);
  EXPECT_FALSE(target.InternalTable());
}

TEST(TableDefTest, RepairGivesStrayKeyFieldsTheFirstIndexWithoutKeys) {
  struct Case {
    const char* Name;
    std::vector<std::string> Indexes;
    std::vector<std::string> KeyIndexNames;
    std::vector<std::string> Expected;
  };
  const std::vector<Case> cases = {
      {"stray field takes the first unnamed index",
       {"A", "B", "C"},
       {"A", "Old", "c"},
       {"A", "B", "c"}},
      {"every index named: nothing changes", {"A", "B"}, {"A", "b", "Old"}, {"A", "b", "Old"}},
      {"several strays go to the same index", {"A", "B", "C"}, {"X", "Y"}, {"A", "A"}},
      {"no index definitions", {}, {"X"}, {"X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableDef def;
    for (const std::string& name : c.Indexes) def.InternalIndexDefs().Add().IndexName = name;
    for (const std::string& name : c.KeyIndexNames) def.KeyFields().Add().IndexName = name;
    def.RepairKeyFieldIndexNames();
    std::vector<std::string> names;
    for (int i = 0; i < def.KeyFields().Count(); ++i)
      names.push_back(def.KeyFields().Items(i).IndexName);
    EXPECT_EQ(names, c.Expected);
  }
}

}  // namespace
