// The dBASE III table file: its header, its field descriptors and its data area.
//
// Contract:
// - Layout: a 32-byte header, 32-byte field descriptors up to a block whose
//   first byte is 0x0D, then the records. Numbers are little-endian; the
//   offsets below are the only description of the layout.
// - TDbfHeader and TDbfField keep the bytes as read; accessors decode them.
// - The field list belongs to the caller; nothing here changes it after
//   ReadFieldDescriptors has filled it.
// - Nothing is checked beyond what is written here: names, types, widths and
//   the record length are taken as they stand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform.h"

class TRecordPlan;

constexpr size_t kHeaderSize = 32;
constexpr size_t kHeaderVersion = 0;       // 1 byte
constexpr size_t kHeaderRecordCount = 4;   // 4 bytes, unsigned
constexpr size_t kHeaderRecordLength = 10; // 2 bytes, unsigned
constexpr uint8_t kVersionDbase3 = 3;
constexpr uint8_t kVersionDbase4 = 4;

constexpr size_t kFieldSize = 32;
constexpr size_t kFieldName = 0;           // 11 bytes, ends at the first NUL
constexpr size_t kFieldNameSize = 11;
constexpr size_t kFieldType = 11;          // 1 byte: 'C', 'N', 'L', ...
constexpr size_t kFieldWidth = 16;         // 1 byte
constexpr size_t kFieldDecimals = 17;      // 1 byte
constexpr uint8_t kDescriptorsEnd = 0x0D;

constexpr size_t kRecordsPerChunk = 1000;

struct TDbfHeader {
  uint8_t bytes[kHeaderSize] = {};  // bytes past the end of the file stay zero

  uint8_t Version() const { return bytes[kHeaderVersion]; }
  uint32_t RecordCount() const { return GetU32(bytes + kHeaderRecordCount); }
  uint16_t RecordLength() const { return GetU16(bytes + kHeaderRecordLength); }
};

struct TDbfField {
  uint8_t bytes[kFieldSize] = {};

  // The name bytes up to the first NUL, untrimmed.
  std::string Name() const;
  uint8_t Type() const { return bytes[kFieldType]; }
  uint8_t Width() const { return bytes[kFieldWidth]; }
  uint8_t Decimals() const { return bytes[kFieldDecimals]; }
};

using FieldList = std::vector<TDbfField>;

// Reads up to 32 bytes from the start of the table; a short file is no failure.
TDbfHeader ReadTableHeader(InputFile& table);

// Reads the descriptors that follow the header into `fields` and sets
// `data_offset` to 32 + 32 * fields + 1. Returns false when the file ends
// before a block starting with 0x0D: such a file is not a table.
bool ReadFieldDescriptors(InputFile& table, FieldList* fields, uint64_t* data_offset);

// The data area, ready to be read in chunks of up to 1000 records into one
// buffer that this object owns.
class DataArea {
 public:
  DataArea(InputFile& table, const TDbfHeader& header, uint64_t data_offset);
  // Hands every whole record, up to the header's record count, to ConvertRecord.
  void ConvertRecords(const TRecordPlan& plan, OutputFile& data);
  void Release() { chunk_.reset(); }
  uint16_t RecordLength() const { return record_length_; }

 private:
  InputFile& table_;
  uint64_t remaining_;
  size_t chunk_size_;
  std::unique_ptr<uint8_t[]> chunk_;
  uint16_t record_length_;
  int32_t records_left_;
};

// Code page 866 to Windows-1251: 0 means the byte stays as it is.
extern const uint8_t Cp866ToWin1251[256];

// S followed by copies of C up to length L; S itself when it is that long already.
std::string PadRight(const std::string& s, char c, uint16_t length);
