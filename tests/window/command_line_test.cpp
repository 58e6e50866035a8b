// The window program as it is started: its command line, and the signals that end
// it from outside.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace lintavel {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// The window program started in `folder` with `arguments`, its output in files.
class Started {
 public:
  Started(const TempDir& folder, const std::vector<std::string>& arguments, bool print_inputs)
      : out_(folder.path() / "out"), err_(folder.path() / "err") {
    std::vector<std::string> strings = {LINTAVEL_WINDOW_BINARY};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = {
        "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (folder.path() / "config").string(),
        "TMPDIR=" + (folder.path() / "tmp").string()};
    if (print_inputs) environment.push_back("LINTAVEL_PRINT_INPUT_LIST=1");
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "LINTAVEL_", 9) != 0) environment.push_back(*entry);
    }
    fs::create_directories(folder.path() / "tmp");
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& s : environment) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string cwd = folder.path().string();
    const std::string out = out_.string();
    const std::string err = err_.string();
    pid_ = fork();
    if (pid_ == 0) {
      const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out_fd < 0 || err_fd < 0 || chdir(cwd.c_str()) != 0) _exit(126);
      dup2(out_fd, 1);
      dup2(err_fd, 2);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }

  // Whether the program catches `signal` yet.
  bool Catches(int signal) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigCgt:", 0) == 0) {
        return ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1) != 0;
      }
    }
    return false;
  }
  void Send(int signal) const { kill(pid_, signal); }

  // The wait status once the program has ended, or none after 20 s (it is killed).
  std::optional<int> Wait() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        return std::nullopt;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status;
  }
  std::string out() const { return ReadBytes(out_); }
  std::string err() const { return ReadBytes(err_); }

 private:
  fs::path out_;
  fs::path err_;
  pid_t pid_ = -1;
};

TEST(WindowCommandLine, HelpOptionsAndFilesAfterTheEndOfOptions) {
  TempDir folder;
  const std::string cwd = fs::canonical(folder.path()).string() + "/";
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out;     // the start of standard output
    std::string in_err;  // a text of standard error
  } cases[] = {
      {{"--help"}, 0, "Usage: lintavel [OPTION]... [FILE]...\n", ""},
      {{"-h", "file.txt"}, 0, "Usage: lintavel [OPTION]... [FILE]...\n", ""},
      {{"-x", "file.txt"}, 2, "", "unknown option '-x'"},
      // Qt takes its own options before "--" only; after it, everything is a file,
      // and names keep their bytes.
      {{"-reverse", "a", "--", "-name", "-style", "--help", "--", "caf\xe9.txt"},
       0,
       cwd + "a\n" + cwd + "-name\n" + cwd + "-style\n" + cwd + "--help\n" + cwd + "--\n" + cwd +
           "caf\xe9.txt\n",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
    Started program(folder, c.arguments, true);
    const std::optional<int> status = program.Wait();
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), c.status) << program.err();
    EXPECT_EQ(program.out().substr(0, c.out.size()), c.out);
    if (c.out.empty()) {
      EXPECT_EQ(program.out(), "");
    }
    EXPECT_NE(program.err().find(c.in_err), std::string::npos) << program.err();
  }
}

// Ended from outside, the window program quits as when its window is closed (and
// so removes its workbooks), with the signal's number in its status.
TEST(WindowCommandLine, SignalsThatEndTheProgramLetItCleanUp) {
  for (const int signal : {SIGINT, SIGHUP, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal));
    TempDir folder;
    Started program(folder, {}, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!program.Catches(signal) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    program.Send(signal);
    const std::optional<int> status = program.Wait();
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 128 + signal);
    for (const auto& entry : fs::directory_iterator(folder.path() / "tmp")) {
      EXPECT_NE(entry.path().filename().string().rfind("lintavel-", 0), 0u) << entry.path();
    }
  }
}

}  // namespace
}  // namespace lintavel
