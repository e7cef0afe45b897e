// Builds dBASE III tables in memory for the tests, and damages them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mydbf.h"
#include "platform.h"

class TableBuilder {
 public:
  TableBuilder& Version(uint8_t v) { version_ = v; return *this; }
  // Name bytes as given (up to 11; shorter names are NUL-padded).
  TableBuilder& Field(const std::string& name, char type, uint8_t width, uint8_t decimals = 0) {
    fields_.push_back({name, type, width, decimals});
    return *this;
  }
  // One value a field, in code page 866 bytes: N fields right-aligned, others
  // left-aligned, blank-padded and cut to the width.
  TableBuilder& Record(const std::vector<std::string>& values, char flag = ' ') {
    std::string rec(1, flag);
    for (size_t i = 0; i < fields_.size(); ++i) {
      std::string v = i < values.size() ? values[i] : "";
      size_t w = fields_[i].width;
      if (v.size() > w) v.resize(w);
      std::string pad(w - v.size(), ' ');
      rec += fields_[i].type == 'N' ? pad + v : v + pad;
    }
    records_.push_back(rec);
    return *this;
  }
  TableBuilder& RawRecord(const std::string& bytes) { records_.push_back(bytes); return *this; }
  TableBuilder& RecordCount(uint32_t n) { count_ = n; return *this; }
  TableBuilder& RecordLength(uint16_t n) { length_ = n; return *this; }
  TableBuilder& HeaderLength(uint16_t n) { header_length_ = n; return *this; }
  TableBuilder& ExtraHeaderBytes(const std::string& b) { extra_ = b; return *this; }
  TableBuilder& EofMarker(bool on) { eof_marker_ = on; return *this; }

  uint16_t NaturalRecordLength() const {
    unsigned n = 1;
    for (const auto& f : fields_) n += f.width;
    return static_cast<uint16_t>(n);
  }
  size_t DataOffset() const { return 32 + 32 * fields_.size() + 1; }

  std::string Build() const {
    std::string out(32, '\0');
    auto* h = reinterpret_cast<uint8_t*>(&out[0]);
    h[0] = version_;
    h[1] = 126; h[2] = 12; h[3] = 11;
    PutU32(h + 4, count_ ? *count_ : static_cast<uint32_t>(records_.size()));
    PutU16(h + 8, header_length_ ? *header_length_
                                 : static_cast<uint16_t>(DataOffset() + extra_.size()));
    PutU16(h + 10, length_ ? *length_ : NaturalRecordLength());
    for (const auto& f : fields_) {
      std::string d(32, '\0');
      d.replace(0, std::min<size_t>(f.name.size(), 11), f.name.substr(0, 11));
      d[11] = f.type;
      d[16] = static_cast<char>(f.width);
      d[17] = static_cast<char>(f.decimals);
      out += d;
    }
    out += '\x0D';
    out += extra_;
    for (const auto& r : records_) out += r;
    if (eof_marker_) out += '\x1A';
    return out;
  }

 private:
  struct FieldSpec {
    std::string name;
    char type;
    uint8_t width;
    uint8_t decimals;
  };
  uint8_t version_ = 3;
  std::vector<FieldSpec> fields_;
  std::vector<std::string> records_;
  std::optional<uint32_t> count_;
  std::optional<uint16_t> length_;
  std::optional<uint16_t> header_length_;
  std::string extra_;
  bool eof_marker_ = true;
};

inline std::string SetByte(std::string s, size_t pos, uint8_t value) {
  s.at(pos) = static_cast<char>(value);
  return s;
}

inline std::string Cut(std::string s, size_t size) {
  s.resize(std::min(s.size(), size));
  return s;
}

// One field descriptor, as ReadFieldDescriptors would give it.
inline TDbfField MakeField(const std::string& name, char type, uint8_t width, uint8_t decimals = 0) {
  TDbfField f;
  std::copy_n(name.begin(), std::min<size_t>(name.size(), kFieldNameSize), f.bytes + kFieldName);
  f.bytes[kFieldType] = static_cast<uint8_t>(type);
  f.bytes[kFieldWidth] = width;
  f.bytes[kFieldDecimals] = decimals;
  return f;
}

// Code page 866 text from readable UTF-8.
inline std::string Dos(const std::string& utf8) { return Cp866FromUtf8(utf8); }

// Little-endian numbers as bytes, for expected data files.
inline std::string U16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string U32(uint32_t v) {
  std::string s(4, '\0');
  PutU32(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}
inline std::string U64(uint64_t v) {
  std::string s(8, '\0');
  PutU64(reinterpret_cast<uint8_t*>(&s[0]), v);
  return s;
}
