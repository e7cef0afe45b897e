// In-memory files: the table as a string, outputs collected into strings.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform.h"

class MemoryInput : public InputFile {
 public:
  explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
  size_t Read(void* buf, size_t n) override {
    size_t got = pos_ < bytes_.size() ? std::min(n, bytes_.size() - pos_) : 0;
    if (got) memcpy(buf, bytes_.data() + pos_, got);
    pos_ += got;
    ++reads;
    return got;
  }
  void Seek(uint64_t pos) override { pos_ = static_cast<size_t>(pos); }
  uint64_t Size() override { return bytes_.size(); }
  int reads = 0;

 private:
  std::string bytes_;
  size_t pos_ = 0;
};

class MemoryOutput : public OutputFile {
 public:
  void WriteAll(const void* buf, size_t n) override {
    bytes.append(static_cast<const char*>(buf), n);
    ++writes;
  }
  std::string bytes;
  int writes = 0;
};
