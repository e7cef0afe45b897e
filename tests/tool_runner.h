// Runs the built tool in a folder of its own and collects what it leaves.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// The program under test; DBFEXT_UNDER_TEST may name another build of it, and
// DBFEXT_RUNNER a program that runs it (wine, for the Windows build).
inline std::string ToolPath() {
  const char* env = std::getenv("DBFEXT_UNDER_TEST");
  return env && *env ? env : DBFEXT_BINARY;
}
inline std::string Runner() {
  const char* env = std::getenv("DBFEXT_RUNNER");
  return env ? env : "";
}
// The Windows build: where the platforms differ by design, tests say so.
inline bool WindowsBuild() {
  const std::string tool = ToolPath();
  return tool.size() > 4 && tool.compare(tool.size() - 4, 4, ".exe") == 0;
}
// The program file's name, as the failure report gives it.
inline std::string ModuleName() { return std::filesystem::path(ToolPath()).filename().string(); }

inline std::vector<char*> ToolArgv(const std::string& runner, const std::string& tool,
                                   const std::vector<std::string>& args) {
  std::vector<char*> argv;
  if (!runner.empty()) argv.push_back(const_cast<char*>(runner.c_str()));
  argv.push_back(const_cast<char*>(tool.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Runs the tool with `args` in `dir`, standard input closed to /dev/null.
// `limit_as` > 0 caps the address space (bytes).
inline RunResult RunTool(const std::vector<std::string>& args, const std::filesystem::path& dir,
                         long long limit_as = 0) {
  const std::filesystem::path out_path = dir / ".stdout";
  const std::filesystem::path err_path = dir / ".stderr";
  std::string tool = ToolPath();
  std::string runner = Runner();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (limit_as > 0) {
      std::string cmd = "ulimit -v " + std::to_string(limit_as / 1024) + " && exec \"$0\" \"$@\"";
      std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
                                 const_cast<char*>(cmd.c_str()), const_cast<char*>(tool.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv("/bin/sh", argv.data());
      _exit(127);
    }
    std::vector<char*> argv = ToolArgv(runner, tool, args);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  RunResult r;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.code = WEXITSTATUS(status);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return r;
}

// Runs the tool with its standard output on a terminal (a pseudo-terminal
// whose other end this reads), in the locale `lang`; returns what it printed.
inline std::string RunOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& dir,
                                 const std::string& lang) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "(no pseudo-terminal)";
  std::string slave_name = ptsname(master);
  std::string tool = ToolPath();
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int slave = open(slave_name.c_str(), O_RDWR);
    if (slave < 0 || chdir(dir.c_str()) != 0) _exit(126);
    struct termios t;
    if (tcgetattr(slave, &t) == 0) {
      t.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // bytes through unchanged
      tcsetattr(slave, TCSANOW, &t);
    }
    dup2(slave, 1);
    setenv("LC_ALL", lang.c_str(), 1);
    std::vector<char*> argv = ToolArgv("", tool, args);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  std::string out;
  char buf[4096];
  for (;;) {
    ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the program has closed its end
    out.append(buf, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  return out;
}

// A fresh temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbfext-test-XXXXXX").string();
    path_ = mkdtemp(&pattern[0]);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
