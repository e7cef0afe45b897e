// Files, OS errors, the command line and the console on Windows. Names are
// byte strings in the ANSI code page, as the command line gives them.
#include <windows.h>

#include <algorithm>

#include "platform.h"

EInOutError ErrorFromOs(int os_error, const std::string& /*path*/, bool writing) {
  switch (os_error) {
    case ERROR_FILE_NOT_FOUND: return IoError(kFileNotFound);
    case ERROR_PATH_NOT_FOUND: return IoError(kInvalidFilename);
    case ERROR_TOO_MANY_OPEN_FILES: return IoError(kTooManyOpenFiles);
    case ERROR_ACCESS_DENIED: return IoError(kAccessDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      if (writing) return IoError(kDiskFull);
      break;
  }
  return UnlistedIoError(os_error);
}

namespace {

EInOutError LastError(const std::string& path, bool writing) {
  return ErrorFromOs(static_cast<int>(GetLastError()), path, writing);
}

bool IdOf(HANDLE h, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  id->device = info.dwVolumeSerialNumber;
  id->inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  id->regular = GetFileType(h) == FILE_TYPE_DISK && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return true;
}

}  // namespace

std::unique_ptr<File> File::OpenRead(const std::string& path) {
  if (path.empty()) throw IoError(kFileNotFound);
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw LastError(path, false);
  std::unique_ptr<File> file(new File(h, path));
  if (GetFileType(h) != FILE_TYPE_DISK) throw IoError(kAccessDenied);  // NUL, CON, pipes
  return file;
}

std::unique_ptr<File> File::OpenWrite(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) throw LastError(path, true);
  return std::unique_ptr<File>(new File(h, path));
}

bool File::Lookup(const std::string& path, FileId* id) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = IdOf(h, id);
  CloseHandle(h);
  return ok;
}

File::~File() {
  if (open_) CloseHandle(fd_);
}

size_t File::Read(void* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(n - got, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(fd_, static_cast<char*>(buf) + got, chunk, &read, nullptr)) throw LastError(path_, false);
    if (read == 0) break;
    got += read;
  }
  return got;
}

void File::Seek(uint64_t pos) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(pos);
  if (!SetFilePointerEx(fd_, to, nullptr, FILE_BEGIN)) throw LastError(path_, false);
}

uint64_t File::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(fd_, &size)) throw LastError(path_, false);
  return static_cast<uint64_t>(size.QuadPart);
}

void File::WriteAll(const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(fd_, p, chunk, &written, nullptr)) throw LastError(path_, true);
    if (written == 0) throw IoError(kDiskFull);
    p += written;
    n -= written;
  }
}

void File::Truncate() {
  if (GetFileType(fd_) != FILE_TYPE_DISK) return;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(fd_, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(fd_)) throw LastError(path_, true);
}

FileId File::Id() const {
  FileId id;
  IdOf(fd_, &id);
  return id;
}

void File::Close() {
  open_ = false;
  if (!CloseHandle(fd_)) throw LastError(path_, true);
}

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());  // the program's name
  return args;
}

std::string ProgramName(const char*) {
  char path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return BaseNameOf(n > 0 ? std::string(path, n) : std::string("dbfext.exe"));
}

Console::Console(int fd) : fd_(fd), utf8_(false) {
  // A console set to UTF-8 gets UTF-8; any other console, file or pipe gets
  // code page 866, the way a Russian console shows it.
  DWORD mode;
  HANDLE h = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  utf8_ = GetConsoleMode(h, &mode) && GetConsoleOutputCP() == CP_UTF8;
}

void Console::EndLine() {
  line_ += "\r\n";
  std::string out;
  out.swap(line_);
  HANDLE h = GetStdHandle(fd_ == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  const char* p = out.data();
  size_t n = out.size();
  while (n > 0) {
    DWORD written = 0;
    if (!WriteFile(h, p, static_cast<DWORD>(n), &written, nullptr)) throw LastError("", true);
    if (written == 0) throw IoError(kDiskFull);
    p += written;
    n -= written;
  }
}
