#include "AppTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QtGlobal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "app/OxApplication.h"

namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    App = std::make_unique<TOxApplication>(Argc, Argv);
  }
  void TearDown() override { App.reset(); }

  std::unique_ptr<TOxApplication> App;

 private:
  int Argc = 1;
  char Name[9] = "test_app";
  char* Argv[2] = {Name, nullptr};
};

// gtest owns registered environments.
QtEnvironment* const Environment =
    static_cast<QtEnvironment*>(::testing::AddGlobalTestEnvironment(new QtEnvironment));

}  // namespace

TOxApplication& TestApp() {
  return *Environment->App;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ox_app_XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
  FPrevious = std::filesystem::current_path().string();
  std::filesystem::current_path(FPath);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::current_path(FPrevious, ignored);
  std::filesystem::remove_all(FPath, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string WithoutTimes(const std::string& text) {
  static const std::regex startTime(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
  static const std::regex lineTime(R"(\[\d\d:\d\d:\d\d\])");
  return std::regex_replace(std::regex_replace(text, startTime, "DATE TIME"), lineTime, "[TIME]");
}
