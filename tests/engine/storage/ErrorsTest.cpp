#include "engine/storage/VorErrors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/storage/DBLogger.h"
#include "platform/Object.h"

namespace {

class TDiskMgr : public TObject {};

std::string LastLogLine() {
  std::vector<std::string> lines = EngineLogger().LinesSnapshot();
  return lines.empty() ? std::string() : lines.back();
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Raises through RaiseDatabaseError and hands back what was thrown.
EVorDatabaseError Raised(int code, const std::string& context, const std::string& custom,
                         const TObject* sender = nullptr) {
  try {
    RaiseDatabaseError(code, context, custom, sender);
  } catch (const EVorDatabaseError& e) {
    return e;
  }
  ADD_FAILURE() << "RaiseDatabaseError returned";
  return EVorDatabaseError(0, "", "");
}

TEST(ErrorsTest, TableHasFallbackThenStrictlyAscendingCodes) {
  const VorErr* table = VorErrorTable();
  ASSERT_EQ(VorErrorCount, 314);
  EXPECT_EQ(table[0].Code, 65535);
  EXPECT_STREQ(table[0].Text, "Error code unknown");
  EXPECT_EQ(table[1].Code, 8449);
  EXPECT_EQ(table[VorErrorCount - 1].Code, 13062);
  int empty = 0;
  int trailingBlank = 0;
  for (int i = 1; i < VorErrorCount; ++i) {
    if (i > 1) {
      EXPECT_LT(table[i - 1].Code, table[i].Code) << "entry " << i;
    }
    EXPECT_EQ(&FindVorError(table[i].Code), &table[i]) << "code " << table[i].Code;
    std::string text = table[i].Text;
    if (text.empty()) ++empty;
    if (!text.empty() && text.back() == ' ') ++trailingBlank;
  }
  // Counts of the listed texts: a lost blank or a filled-in empty text shows here.
  EXPECT_EQ(empty, 17);
  EXPECT_EQ(trailingBlank, 53);
}

TEST(ErrorsTest, SpotTextsAreExact) {
  struct Spot {
    int Code;
    const char* Text;
  };
  const std::vector<Spot> spots = {
      {8449, "Cannot open the requested file"},
      {8581, "There was an unexpected internal error in the database engine"},
      {9473, "Not enough Memory for this op "},
      {9499, "Pathname is too long for a Paradox 5.0 or less table "},
      {9729, "Key violation "},
      {9747, "Cannot make a master a detail of another table if its details are not empty. "},
      {10006, "Invalid array of  val. check descriptors"},
      {10060, "Multi results"},
      {10114, "Alter table operation failed (exact cause unknown)"},
      {10241, ""},
      {10263, ""},
      {10497, "Not sufficient field  rights for operation"},
      {11047, "Unkown | illegal error from rtl"},
      {11269, ""},
      {11278, "0x0e SQL Server not found"},
      {13062, "Update operation aborted"},
  };
  for (const Spot& s : spots) {
    const VorErr& e = FindVorError(s.Code);
    EXPECT_EQ(e.Code, s.Code);
    EXPECT_EQ(std::string(e.Text), s.Text) << "code " << s.Code;
  }
  for (int absent : {0, -1, 130, 8452, 10264, 65535, 70000}) {
    EXPECT_EQ(&FindVorError(absent), &VorErrorTable()[0]) << "code " << absent;
  }
}

TEST(ErrorsTest, MessageFormats) {
  EVorDatabaseError withCustom = Raised(8581, "TDiskMgr.ReadHeader", "PageSize is 0");
  EXPECT_EQ(withCustom.Message(),
            "The Norvi database engine raised an error\r\n There was an unexpected internal "
            "error in the database engine (error code #8581) - PageSize is 0");
  EXPECT_EQ(withCustom.ErrorCode, 8581);

  EVorDatabaseError plain = Raised(10257, "TCacheMgr.Commit", "");
  EXPECT_EQ(plain.Message(),
            "The Norvi database engine raised an error\r\n (error code #10257). There are no "
            "active transactions");
  EXPECT_EQ(plain.ErrorText, "There are no active transactions");

  EVorDatabaseError noText = Raised(10241, "TLockMgr.Lock", "");
  EXPECT_EQ(noText.ErrorText, "");
  EXPECT_EQ(noText.Message(),
            "The Norvi database engine raised an error\r\n (error code #10241). ");

  // A "%" in the texts is data, not a placeholder.
  EVorDatabaseError percent = Raised(9986, "T.M", "100%s done");
  EXPECT_TRUE(EndsWith(percent.Message(), "(error code #9986) - 100%s done"));
}

TEST(ErrorsTest, UnknownCodeKeepsItsCodeButLogsTheFallback) {
  EVorDatabaseError e = Raised(130, "TVorTable.Open", "custom");
  EXPECT_EQ(e.ErrorCode, 130);
  EXPECT_EQ(e.ErrorText, "Error code unknown");
  EXPECT_EQ(e.Message(),
            "The Norvi database engine raised an error\r\n Error code unknown (error code #130) - "
            "custom");
  EXPECT_TRUE(EndsWith(LastLogLine(),
                       std::string(16, ' ') + "TVorTable.Open : Exception:  Caller " +
                           std::string(20, ' ') +
                           " ErrCode 65535 [ErrContext Error code unknown]. CustomMsg custom"))
      << LastLogLine();
}

TEST(ErrorsTest, LogLineNamesTheCaller) {
  TComponent named;
  named.Name = "tblProdukty";
  TComponent unnamed;
  TDiskMgr disk;
  struct Case {
    const TObject* Sender;
    std::string Caller;
  };
  const std::vector<Case> cases = {
      {&named, "tblProdukty"},
      {&unnamed, "TComponent"},
      {&disk, "TDiskMgr"},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    Raised(10114, "TTableDefsMgr.Alter", "", c.Sender);
    std::string caller = std::string(20 - c.Caller.size(), ' ') + c.Caller;
    EXPECT_TRUE(EndsWith(LastLogLine(),
                         " : Exception:  Caller " + caller +
                             " ErrCode 10114 [ErrContext Alter table operation failed (exact "
                             "cause unknown)]. CustomMsg "))
        << LastLogLine();
  }
}

TEST(ErrorsTest, FmtVariantFormatsTheCustomMessage) {
  try {
    RaiseDatabaseErrorFmt(9221, "TDiskMgr.Open", "File %s, attempt %d of %d", nullptr,
                          {"ox.vor", 3, 10});
    FAIL() << "no exception";
  } catch (const EVorDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "The Norvi database engine raised an error\r\n The file could not be accessed "
              "(error code #9221) - File ox.vor, attempt 3 of 10");
  }
  EXPECT_TRUE(EndsWith(LastLogLine(), "CustomMsg File ox.vor, attempt 3 of 10"));
}

TEST(ErrorsTest, IsCaughtAsTheClassLibraryDatabaseError) {
  EXPECT_THROW(RaiseDatabaseError(8705, "TDataSet.First"), EDatabaseError);
}

}  // namespace
