#include "engine/storage/DBLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(LoggerTest, LineFormat) {
  TDBLogger logger;
  logger.Log("BTree", "node split");
  ASSERT_EQ(logger.Lines.Count(), 1);
  const std::string& line = logger.Lines[0];
  const std::string stamp = "dddd-dd-dd dd:dd:dd";  // d: a digit
  ASSERT_GE(line.size(), stamp.size()) << line;
  for (size_t i = 0; i < stamp.size(); ++i) {
    EXPECT_TRUE(stamp[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                : line[i] == stamp[i])
        << line;
  }
  EXPECT_EQ(line.substr(stamp.size()), ";" + std::string(26, ' ') + "BTree : node split");
  // Names longer than the column are kept whole.
  logger.Log(std::string(40, 'n'), "");
  EXPECT_NE(logger.Lines[1].find("; " + std::string(40, 'n') + " : "), std::string::npos);
}

TEST(LoggerTest, KeepsAtMostOneLineAboveMaxLinesDroppingTheOldest) {
  TDBLogger logger;
  EXPECT_EQ(logger.MaxLines, 500);
  for (int i = 1; i <= 502; ++i) logger.Log("DiskInterface", "message " + std::to_string(i));
  std::vector<std::string> lines = logger.LinesSnapshot();
  ASSERT_EQ(lines.size(), 501u);
  auto endsWith = [](const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
  };
  EXPECT_TRUE(endsWith(lines.front(), " : message 2")) << lines.front();
  EXPECT_TRUE(endsWith(lines.back(), " : message 502")) << lines.back();

  TDBLogger unbounded;
  unbounded.MaxLines = 0;
  for (int i = 0; i < 600; ++i) unbounded.Log("VorFile", "x");
  EXPECT_EQ(unbounded.Lines.Count(), 600);
}

TEST(LoggerTest, CountersAddDeltasToDecimalValues) {
  TDBLogger logger;
  logger.Counters.Add("Broken=abc");
  logger.Counters.Add("Partly=12abc");
  logger.IncCounter("WRITELOCK", 1);
  logger.IncCounter("writelock", 2);
  logger.IncCounter("READLOCK", -5);
  logger.IncCounter("Broken", 7);
  logger.IncCounter("Partly", 1);
  EXPECT_EQ(logger.Counters.Values("WRITELOCK"), "3");
  EXPECT_EQ(logger.Counters.Values("READLOCK"), "-5");
  EXPECT_EQ(logger.Counter("Broken"), 7);
  EXPECT_EQ(logger.Counter("Partly"), 1);
  EXPECT_EQ(logger.Counter("absent"), 0);
  EXPECT_EQ(logger.Counters.Count(), 4);
}

TEST(LoggerTest, ThreadsLoseNeitherLinesNorCounts) {
  TDBLogger logger;
  constexpr int Threads = 4;
  constexpr int PerThread = 100;  // 400 lines stay below the cap
  std::vector<std::thread> workers;
  for (int t = 0; t < Threads; ++t) {
    workers.emplace_back([&logger, t] {
      for (int i = 0; i < PerThread; ++i) {
        logger.Log("T" + std::to_string(t), std::to_string(i));
        logger.IncCounter("READLOCK", 1);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  std::vector<std::string> lines = logger.LinesSnapshot();
  ASSERT_EQ(lines.size(), static_cast<size_t>(Threads * PerThread));
  std::set<std::string> unique;
  for (const std::string& line : lines) unique.insert(line.substr(line.find("; ")));
  EXPECT_EQ(unique.size(), lines.size());
  EXPECT_EQ(logger.Counter("READLOCK"), Threads * PerThread);
}

TEST(LoggerTest, EngineLoggerIsOneInstance) {
  EXPECT_EQ(&EngineLogger(), &EngineLogger());
  EngineLogger().Log("LoggerTest", "reached");
  std::vector<std::string> lines = EngineLogger().LinesSnapshot();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("LoggerTest : reached"), std::string::npos);
}

TEST(LoggerTest, SaveToFileWritesCrLfLines) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() /
                 ("oxlog-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir);
  TDBLogger logger;
  logger.Log("a", "1");
  logger.Log("b", "2");
  std::string file = (dir / "dblog.txt").string();
  logger.SaveToFile(file);
  logger.SaveToFile("");  // nothing to do, no error
  std::ifstream in(file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, logger.Lines[0] + "\r\n" + logger.Lines[1] + "\r\n");
  fs::remove_all(dir);
}

}  // namespace
