// Property tables binding objects to component texts: declared defaults are left out and
// taken back, collections use their item tables, and every refusal names line, class and
// property.
#include "platform/PropertyTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ComponentReader.h"
#include "platform/ComponentWriter.h"

namespace {

struct TPart {
  std::string Name;
  int32_t Count = 0;
  bool Spare = false;
};

struct TMachine {
  int64_t Serial = 0;
  double Weight = 0;
  std::string Label;
  bool Running = false;
  int Mode = 0;  // 0 mdOff, 1 mdIdle, 2 mdBusy
  int32_t Level = 5;
  std::vector<std::unique_ptr<TPart>> Parts;
};

const TPropertyTable<TPart>& PartTable() {
  static const auto table = [] {
    auto t = std::make_unique<TPropertyTable<TPart>>("TPart");
    t->AddStringField("Name", &TPart::Name)
        .AddInt32Field("Count", &TPart::Count, 1)
        .AddBooleanField("Spare", &TPart::Spare, false);
    return t;
  }();
  return *table;
}

const TPropertyTable<TMachine>& MachineTable() {
  using M = TMachine;
  static const auto table = [] {
    auto t = std::make_unique<TPropertyTable<M>>("TMachine");
    t->AddInteger(
         "Serial", [](const M& m) { return m.Serial; }, [](M& m, int64_t v) { m.Serial = v; }, 0,
         999999)
        .AddFloat(
            "Weight", [](const M& m) { return m.Weight; }, [](M& m, double v) { m.Weight = v; })
        .AddString(
            "Label", [](const M& m) { return m.Label; },
            [](M& m, const std::string& v) { m.Label = v; })
        .AddBoolean(
            "Running", [](const M& m) { return m.Running; }, [](M& m, bool v) { m.Running = v; })
        .AddEnumeration(
            "Mode", {"mdOff", "mdIdle", "mdBusy"}, [](const M& m) { return m.Mode; },
            [](M& m, int v) { m.Mode = v; }, 1)
        .AddInt32Field("Level", &M::Level, 5)
        .AddCollection<TPart>(
            "Parts", PartTable(), [](const M& m) { return static_cast<int>(m.Parts.size()); },
            [](const M& m, int i) -> const TPart& { return *m.Parts[static_cast<size_t>(i)]; },
            [](M& m) { m.Parts.clear(); },
            [](M& m) -> TPart& { return *m.Parts.emplace_back(std::make_unique<TPart>()); });
    return t;
  }();
  return *table;
}

TMachine Sample() {
  TMachine m;
  m.Serial = 4711;
  m.Weight = 12.5;
  m.Label =
      "Pra\xBF"
      "alka";
  m.Running = true;
  m.Mode = 2;
  m.Level = 5;
  m.Parts.push_back(
      std::make_unique<TPart>(TPart{"b\xEA"
                                    "ben",
                                    1, false}));
  m.Parts.push_back(std::make_unique<TPart>(TPart{"pas", 3, true}));
  return m;
}

TEST(PropertyTableTest, WritesInTableOrderWithoutDeclaredDefaults) {
  EXPECT_EQ(WriteComponentText(MachineTable().Write(Sample())),
            "object TMachine\r\n"
            "  Serial = 4711\r\n"
            "  Weight = 12.5\r\n"
            "  Label = 'Pra\xBF"
            "alka'\r\n"
            "  Running = True\r\n"
            "  Mode = mdBusy\r\n"
            "  Parts = <\r\n"
            "    item\r\n"
            "      Name = 'b\xEA"
            "ben'\r\n"
            "    end\r\n"
            "    item\r\n"
            "      Name = 'pas'\r\n"
            "      Count = 3\r\n"
            "      Spare = True\r\n"
            "    end>\r\n"
            "end\r\n");
}

TEST(PropertyTableTest, ReadingGivesBackTheObjectAndTakesDefaults) {
  const TMachine original = Sample();
  TMachine read;
  read.Level = 9;  // absent from the text: takes its default, not the old value
  read.Mode = 0;
  read.Parts.push_back(std::make_unique<TPart>(TPart{"old", 8, true}));
  MachineTable().Read(ReadComponentText(WriteComponentText(MachineTable().Write(original))), read);
  EXPECT_EQ(read.Serial, 4711);
  EXPECT_EQ(read.Weight, 12.5);
  EXPECT_EQ(read.Label, original.Label);
  EXPECT_TRUE(read.Running);
  EXPECT_EQ(read.Mode, 2);
  EXPECT_EQ(read.Level, 5);
  ASSERT_EQ(read.Parts.size(), 2u);
  EXPECT_EQ(read.Parts[0]->Name,
            "b\xEA"
            "ben");
  EXPECT_EQ(read.Parts[0]->Count, 1);
  EXPECT_FALSE(read.Parts[0]->Spare);
  EXPECT_EQ(read.Parts[1]->Count, 3);
  EXPECT_TRUE(read.Parts[1]->Spare);

  TMachine copy;
  MachineTable().Copy(original, copy);
  EXPECT_EQ(WriteComponentText(MachineTable().Write(copy)),
            WriteComponentText(MachineTable().Write(original)));
}

TEST(PropertyTableTest, RefusalsNameLineClassAndProperty) {
  struct Case {
    const char* Name;
    std::string Properties;
    const char* Message;
  };
  const std::string head = "  Serial = 1\r\n  Weight = 2\r\n  Label = ''\r\n  Running = False\r\n";
  const std::string all = head + "  Parts = <>\r\n";
  const std::vector<Case> cases = {
      {"unknown", "  Serial = 1\r\n  Colour = 2\r\n", "Line 3: TMachine.Colour: unknown property"},
      {"repeated", all + "  Serial = 1\r\n", "Line 7: TMachine.Serial: repeated or out of order"},
      {"out of order", head + "  Level = 3\r\n  Mode = mdOff\r\n",
       "Line 7: TMachine.Mode: repeated or out of order"},
      {"missing", "  Serial = 1\r\n  Label = ''\r\n", "Line 3: TMachine.Weight: missing"},
      {"missing at the end", "  Serial = 1\r\n  Weight = 2\r\n  Label = ''\r\n",
       "TMachine.Running: missing"},
      {"wrong kind", "  Serial = '1'\r\n", "TMachine.Serial: integer expected but string found"},
      {"float for an integer", "  Serial = 1.5\r\n", "integer expected but float found"},
      {"below the range", "  Serial = -1\r\n", "TMachine.Serial: -1 is out of range"},
      {"above the range", "  Serial = 1000000\r\n", "1000000 is out of range"},
      {"unknown name", "  Serial = 1\r\n  Weight = 2\r\n  Label = ''\r\n  Running = Maybe\r\n",
       "TMachine.Running: 'Maybe' is not a value of this property"},
      {"item property", head + "  Parts = <\r\n item\r\n Name = 'n'\r\n Count = 'x'\r\n end>\r\n",
       "Line 9: TPart.Count: integer expected but string found"},
      {"item property missing", head + "  Parts = <item end>\r\n", "Line 6: TPart.Name: missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TMachine m;
    try {
      MachineTable().Read(ReadComponentText("object TMachine\r\n" + c.Properties + "end"), m);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    }
  }
  TMachine m;
  EXPECT_THROW(MachineTable().Read(ReadComponentText("object TPart\r\nend"), m), EReadError);
  // Integers are taken for floats; identifiers compare without regard to case.
  MachineTable().Read(
      ReadComponentText("object TMachine\r\n" + head + "  mode = MDIDLE\r\n  Parts = <>\r\nend"),
      m);
  EXPECT_EQ(m.Weight, 2.0);
  EXPECT_EQ(m.Mode, 1);
}

TEST(PropertyTableTest, AnOrdinalWithoutNameCannotBeWritten) {
  TMachine m = Sample();
  m.Mode = 7;
  EXPECT_THROW(MachineTable().Write(m), EWriteError);
}

}  // namespace
