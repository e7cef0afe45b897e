// Files, OS errors and the console on POSIX systems.
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <clocale>
#include <cstring>

#include "platform.h"

namespace {

bool FolderOfPathExists(const std::string& path) {
  size_t cut = path.find_last_of('/');
  std::string folder = cut == std::string::npos ? "." : path.substr(0, cut == 0 ? 1 : cut);
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileId IdOf(const struct stat& st) {
  FileId id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.regular = S_ISREG(st.st_mode);
  return id;
}

}  // namespace

EInOutError ErrorFromOs(int os_error, const std::string& path, bool writing) {
  switch (os_error) {
    case ENOENT:
      return IoError(FolderOfPathExists(path) ? kFileNotFound : kInvalidFilename);
    case ENOTDIR:
    case ENAMETOOLONG:
      return IoError(kInvalidFilename);
    case EMFILE:
    case ENFILE:
      return IoError(kTooManyOpenFiles);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return IoError(kAccessDenied);
    case ENOSPC:
    case EDQUOT:
      if (writing) return IoError(kDiskFull);
      break;
  }
  return UnlistedIoError(os_error);
}

std::unique_ptr<File> File::OpenRead(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) throw IoError(kAccessDenied);
  // O_NONBLOCK: should the name turn into a FIFO between the two looks, the
  // open must still not wait for a writer.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw ErrorFromOs(errno, path, false);
  std::unique_ptr<File> file(new File(fd, path));
  if (fstat(fd, &st) != 0) throw ErrorFromOs(errno, path, false);
  if (!S_ISREG(st.st_mode)) throw IoError(kAccessDenied);
  return file;
}

std::unique_ptr<File> File::OpenWrite(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) throw ErrorFromOs(errno, path, true);
  return std::unique_ptr<File>(new File(fd, path));
}

bool File::Lookup(const std::string& path, FileId* id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *id = IdOf(st);
  return true;
}

File::~File() {
  if (open_) ::close(fd_);
}

size_t File::Read(void* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::read(fd_, static_cast<char*>(buf) + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw ErrorFromOs(errno, path_, false);
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

void File::Seek(uint64_t pos) {
  if (lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) throw ErrorFromOs(errno, path_, false);
}

uint64_t File::Size() {
  struct stat st;
  if (fstat(fd_, &st) != 0) throw ErrorFromOs(errno, path_, false);
  return static_cast<uint64_t>(st.st_size);
}

void File::WriteAll(const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) throw ErrorFromOs(errno, path_, true);
    if (w == 0) throw IoError(kDiskFull);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void File::Truncate() {
  struct stat st;
  if (fstat(fd_, &st) != 0) throw ErrorFromOs(errno, path_, true);
  // A file that is empty already is left alone: cutting it anyway would make
  // ext4 push all that is written to disk at close, as for a replaced file.
  if (S_ISREG(st.st_mode) && st.st_size > 0 && ftruncate(fd_, 0) != 0) throw ErrorFromOs(errno, path_, true);
}

FileId File::Id() const {
  struct stat st;
  return fstat(fd_, &st) == 0 ? IdOf(st) : FileId{};
}

void File::Close() {
  open_ = false;
  if (::close(fd_) != 0 && errno != EINTR) throw ErrorFromOs(errno, path_, true);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::string ProgramName(const char* argv0) { return BaseNameOf(argv0 ? argv0 : "dbfext"); }

Console::Console(int fd) : fd_(fd), utf8_(false) {
  // A reader that went away is a write error to report, not a signal that
  // ends the run without a word.
  signal(SIGPIPE, SIG_IGN);
  if (isatty(fd)) {
    const char* old = setlocale(LC_CTYPE, "");
    utf8_ = old != nullptr && strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    setlocale(LC_CTYPE, "C");
  }
}

void Console::EndLine() {
  line_ += "\r\n";
  std::string out;
  out.swap(line_);
  const char* p = out.data();
  size_t n = out.size();
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw ErrorFromOs(w < 0 ? errno : ENOSPC, "", true);
    p += w;
    n -= static_cast<size_t>(w);
  }
}
