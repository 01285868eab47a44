// Shared by every test program: a fresh directory under the temporary directory for one test
// (removed with its contents), and forked children that report by exit code.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace test_support {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ox-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) FPath = pattern + "/";
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool Valid() const { return !FPath.empty(); }
  std::string operator/(const std::string& name) const { return FPath + name; }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

// Runs body in a forked child and returns its exit code (-1 when it did not exit normally).
// The child leaves with _exit so that no test machinery runs twice.
template <typename Body>
int RunInChild(Body body) {
  pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A forked child that does something, tells the parent it is ready, and waits for the
// parent's word before it finishes (so the parent can test while the child holds something).
class HeldChild {
 public:
  template <typename Setup>
  explicit HeldChild(Setup setup) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0) return;
    FPid = ::fork();
    if (FPid == 0) {
      ::close(ready[0]);
      ::close(go[1]);
      int code = 99;
      try {
        code = setup();
      } catch (...) {
        code = 98;
      }
      char c = static_cast<char>(code);
      (void)!::write(ready[1], &c, 1);
      (void)!::read(go[0], &c, 1);  // until the parent says so (or closes the pipe)
      ::_exit(code);
    }
    ::close(ready[1]);
    ::close(go[0]);
    FReady = ready[0];
    FGo = go[1];
    char c = 0;
    if (FPid > 0 && ::read(FReady, &c, 1) == 1) FSetupCode = static_cast<unsigned char>(c);
  }
  ~HeldChild() { Finish(); }
  HeldChild(const HeldChild&) = delete;
  HeldChild& operator=(const HeldChild&) = delete;

  // The code the setup returned (-1 when the child never reported).
  int SetupCode() const { return FSetupCode; }
  // Lets the child finish and returns its exit code.
  int Finish() {
    if (FPid <= 0) return FExit;
    char c = 'g';
    (void)!::write(FGo, &c, 1);
    ::close(FGo);
    ::close(FReady);
    int status = 0;
    bool waited = true;
    while (::waitpid(FPid, &status, 0) < 0) {
      if (errno != EINTR) {
        waited = false;
        break;
      }
    }
    FPid = 0;
    FExit = waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return FExit;
  }

 private:
  pid_t FPid = -1;
  int FReady = -1, FGo = -1;
  int FSetupCode = -1;
  int FExit = -1;
};

}  // namespace test_support
