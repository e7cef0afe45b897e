// The parts of the run-time layer that are the same on every system: messages,
// the output buffer, the console texts and the failure report.
#include "platform.h"

#include <cstring>

std::string Trim(const std::string& s) {
  const uint8_t* begin = reinterpret_cast<const uint8_t*>(s.data());
  const uint8_t* end = begin + s.size();
  TrimBounds(begin, end);
  return std::string(begin, end);
}

namespace {
std::string UnlistedMessage(int code) { return "I/O error " + std::to_string(code); }
}  // namespace

EInOutError UnlistedIoError(int code) { return EInOutError(code, UnlistedMessage(code)); }

std::string IoMessage(int code) {
  switch (code) {
    case kFileNotFound: return "File not found";
    case kInvalidFilename: return "Invalid filename";
    case kTooManyOpenFiles: return "Too many open files";
    case kAccessDenied: return "File access denied";
    case kDiskFull: return "Disk full";
    default: return UnlistedMessage(code);
  }
}

OutBuffer::OutBuffer(OutputFile& out, size_t capacity)
    : out_(out), storage_(new uint8_t[capacity]) {
  begin_ = pos_ = storage_.get();
  end_ = begin_ + capacity;
}

OutBuffer::~OutBuffer() {
  if (failed_ || pos_ == begin_) return;
  try {
    out_.WriteAll(begin_, static_cast<size_t>(pos_ - begin_));
  } catch (...) {
    // The run is already ending with another failure; that one is reported.
  }
}

void OutBuffer::Drain() {
  if (failed_ || pos_ == begin_) return;
  size_t n = static_cast<size_t>(pos_ - begin_);
  pos_ = begin_;
  failed_ = true;  // until the write has gone through
  out_.WriteAll(begin_, n);
  failed_ = false;
}

std::string Cp866FromUtf8(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    unsigned cp = 0;
    size_t len = 0;
    if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { len = 1; }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
      cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x0410 && cp <= 0x043F) out += static_cast<char>(0x80 + (cp - 0x0410));
    else if (cp >= 0x0440 && cp <= 0x044F) out += static_cast<char>(0xE0 + (cp - 0x0440));
    else if (cp == 0x0401) out += static_cast<char>(0xF0);
    else if (cp == 0x0451) out += static_cast<char>(0xF1);
    else out += '?';
  }
  return out;
}

Console& Console::Text(const std::string& utf8) {
  line_ += utf8_ ? utf8 : Cp866FromUtf8(utf8);
  return *this;
}

Console& Console::Bytes(const std::string& raw) {
  line_ += raw;
  return *this;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    for (;;) {
      while (i < n && blank(line[i])) ++i;
      if (i + 1 < n && line[i] == '"' && line[i + 1] == '"') i += 2;
      else break;
    }
    if (i >= n) return args;
    std::string arg;
    while (i < n && !blank(line[i])) {
      if (line[i] == '"') {
        for (++i; i < n && line[i] != '"'; ++i) arg += line[i];
        if (i < n) ++i;  // the closing quote
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
}

std::string BaseNameOf(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void ReportUnhandled(const std::string& program, const char* kind, const std::string& message) {
  std::string text = message;
  if (text.empty() || text.back() != '.') text += '.';
  try {
    Console err(2);
    err.Text("Exception ").Text(kind).Text(" in module ").Bytes(program);
    err.Text(" at 00000000004012AB.").EndLine();
    err.Text(text).EndLine();
    err.EndLine();
  } catch (const Exception&) {
    // Standard error is gone too: the exit code is all that is left to say it.
  }
}
