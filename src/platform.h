// The small run-time layer the tool stands on: failure kinds, files, the
// console, and little-endian byte helpers.
//
// Contract:
// - Every binary number the tool reads or writes is little-endian; the Get/Put
//   helpers below are the only code that turns bytes into numbers and back.
// - Failures are exceptions derived from Exception. An I/O failure is an
//   EInOutError carrying a code and the message chosen for it by IoMessage();
//   OS error numbers become such failures in exactly one place (ErrorFromOs).
// - File owns its descriptor: it closes it on destruction (ignoring errors,
//   since that only happens after an earlier failure) and Close() reports a
//   failed close. Reads return what they got (a short read only at the end of
//   the file); WriteAll either writes every byte or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---- byte order ----------------------------------------------------------

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- trimming ----------------------------------------------------------------

// Trimming removes every leading and trailing byte whose code is 32 or less.
inline void TrimBounds(const uint8_t*& begin, const uint8_t*& end) {
  while (begin < end && *begin <= 32) ++begin;
  while (end > begin && end[-1] <= 32) --end;
}
std::string Trim(const std::string& s);

// ---- failures --------------------------------------------------------------

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;
  virtual const char* KindName() const { return "Exception"; }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

class EInOutError : public Exception {
 public:
  EInOutError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  const char* KindName() const override { return "EInOutError"; }
  int Code() const { return code_; }

 private:
  int code_;
};

// The codes that have messages of their own; any other code reads "I/O error N".
enum IoCode : int {
  kFileNotFound = 2,
  kInvalidFilename = 3,
  kTooManyOpenFiles = 4,
  kAccessDenied = 5,
  kDiskFull = 101,
};

std::string IoMessage(int code);
inline EInOutError IoError(int code) { return EInOutError(code, IoMessage(code)); }
// An OS error outside the table keeps its own number: "I/O error N", even
// where N happens to be one of the codes above (EIO is 5 on Linux).
EInOutError UnlistedIoError(int code);

// What an OS error number means to the user. `path` is the file the call was
// about (to tell a missing file from a missing folder); `writing` is set for
// failures of a write, where a full disk is "Disk full".
EInOutError ErrorFromOs(int os_error, const std::string& path, bool writing);

// ---- files -------------------------------------------------------------------

// Where the tool reads a table from: a file, or bytes in memory (tests, fuzzing).
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to n bytes; fewer only at the end of the file.
  virtual size_t Read(void* buf, size_t n) = 0;
  virtual void Seek(uint64_t pos) = 0;
  virtual uint64_t Size() = 0;
};

// Where the tool writes its outputs.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all n bytes or throws (a short write is "Disk full").
  virtual void WriteAll(const void* buf, size_t n) = 0;
};

// Identity of a file on its device, to tell when two names lead to one file.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool regular = false;
  bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

#ifdef _WIN32
using OsHandle = void*;
#else
using OsHandle = int;
#endif

class File : public InputFile, public OutputFile {
 public:
  // Opens an existing regular file for reading. Anything else (a folder, a
  // FIFO, a device) is refused as "File access denied" without blocking.
  static std::unique_ptr<File> OpenRead(const std::string& path);
  // Creates the file or opens an existing one for writing without cutting it;
  // call Truncate() once the caller knows it may replace the contents.
  static std::unique_ptr<File> OpenWrite(const std::string& path);
  // The identity of the file a path names, if it exists.
  static bool Lookup(const std::string& path, FileId* id);

  ~File() override;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  size_t Read(void* buf, size_t n) override;
  void Seek(uint64_t pos) override;
  uint64_t Size() override;
  void WriteAll(const void* buf, size_t n) override;
  void Truncate();
  FileId Id() const;
  void Close();

 private:
  File(OsHandle fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  OsHandle fd_;
  bool open_ = true;
  std::string path_;
};

// Collects small writes into large ones: one write call each time the buffer
// fills, and one in Flush(). After a failed write it writes nothing more; if it
// is destroyed with bytes still in it (a failure elsewhere ended the run) it
// writes them out as best it can, so the file holds every record converted.
class OutBuffer {
 public:
  explicit OutBuffer(OutputFile& out, size_t capacity = 1 << 20);
  ~OutBuffer();
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  // Room for n more bytes, flushing first if needed; n must not exceed the capacity.
  uint8_t* Reserve(size_t n) {
    if (static_cast<size_t>(end_ - pos_) < n) Drain();
    return pos_;
  }
  void Commit(uint8_t* new_pos) { pos_ = new_pos; }
  void Flush() { Drain(); }

 private:
  void Drain();
  OutputFile& out_;
  std::unique_ptr<uint8_t[]> storage_;
  uint8_t* begin_;
  uint8_t* pos_;
  uint8_t* end_;
  bool failed_ = false;
};

// ---- command line ---------------------------------------------------------------

// The arguments after the program's name: argv as the system hands it over on
// POSIX; on Windows the command line split by SplitCommandLine.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Splits a command line the way the tool has always read it on Windows:
// bytes up to a blank (any byte up to 32) separate arguments; double quotes
// group blanks into an argument and are removed; a pair of double quotes with
// nothing between them at the start of an argument is skipped, so an empty
// argument cannot be given. The first item is the program's name.
std::vector<std::string> SplitCommandLine(const std::string& line);

// The program file's name without its folder.
std::string ProgramName(const char* argv0);
std::string BaseNameOf(const std::string& path);

// ---- console -------------------------------------------------------------------

// The tool's own texts are kept in UTF-8 in the source and written in code page
// 866, except to a terminal whose locale is UTF-8, which gets them as they are.
// File names and other bytes from outside are written unchanged.
class Console {
 public:
  explicit Console(int fd);
  Console& Text(const std::string& utf8);   // one of the tool's own texts
  Console& Bytes(const std::string& raw);   // bytes from outside, unchanged
  void EndLine();                           // CR LF, then the line is written out

 private:
  int fd_;
  bool utf8_;
  std::string line_;
};

// Code page 866 bytes for a UTF-8 text (ASCII and the Cyrillic letters; any
// other character becomes '?').
std::string Cp866FromUtf8(const std::string& utf8);

// The report of a failure the tool did not handle itself, on standard error:
// "Exception <kind> in module <program> at <address>." CR LF <message>. CR LF CR LF
void ReportUnhandled(const std::string& program, const char* kind, const std::string& message);
