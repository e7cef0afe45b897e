// The data file: each table record becomes a run of binary fields.
//
// Contract:
// - The data file has no header and no separators: converted records follow
//   each other, all of one length, every number little-endian.
// - Packed layout (the default): C and every type but N and L as a 16-bit
//   width and the width's bytes in Windows-1251; N up to width 4 as 16 bits,
//   wider as 32 bits (the text's integer, -1 when it is none); L: nothing.
// - Aligned layout: every field a column at the offset an SQL server's record
//   image gives it (see PlanRecord), N fields as scaled 16/32/64-bit decimals.
// - ColumnOf is the one place that decides how a field is stored; the plan and
//   the script both follow it, so the script always declares the bytes written.
// - Bytes a field would take from past its record's end are read as blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mydbf.h"
#include "platform.h"

enum class Layout { kPacked, kAligned };

enum class ColumnKind : uint8_t { kNone, kVarChar, kInt16, kInt32, kInt64 };

struct ColumnType {
  ColumnKind kind = ColumnKind::kNone;
  uint16_t size = 0;  // kVarChar: the declared length in bytes
};

ColumnType ColumnOf(const TDbfField& field, Layout layout);

// Every field's place in the record and in the output, worked out once a table.
struct FieldPlan {
  ColumnKind kind;
  uint8_t decimals;
  uint16_t width;      // bytes of the field in the record
  uint16_t present;    // of those, how many lie inside the record
  uint16_t gap;        // zero bytes written before the field (aligned layout)
  uint16_t text_size;  // kVarChar: bytes after the length word
  uint32_t offset;     // where the field starts in the record (within it)
  bool scaled;         // N field read as a decimal and scaled (aligned layout)
  uint32_t out_bytes;  // gap + encoding
};

class TRecordPlan {
 public:
  TRecordPlan(const FieldList& fields, uint16_t record_length, Layout layout);
  const std::vector<FieldPlan>& Fields() const { return fields_; }
  uint16_t RecordLength() const { return record_length_; }
  // Bytes of one converted record.
  uint64_t RecordBytes() const { return record_bytes_; }
  size_t MaxFieldBytes() const { return max_field_bytes_; }

 private:
  uint16_t record_length_;
  std::vector<FieldPlan> fields_;
  uint64_t record_bytes_ = 0;
  size_t max_field_bytes_ = 0;
};

constexpr size_t kDataBufferSize = size_t{1} << 20;

// Converts `count` records that follow each other (deletion flag first, the
// plan's record length each) into `out`. Their bytes are translated in place
// on the way: the chunk loop hands its buffer over and reads it no more.
void ConvertRecords(uint8_t* records, size_t count, const TRecordPlan& plan, OutBuffer& out);

// Converts one record, leaving its bytes as they are.
void ConvertRecord(const uint8_t* record, const TRecordPlan& plan, OutBuffer& out);

// The packed layout's number: the text with its first '.' removed when the
// field has decimals, trimmed, read as a 32-bit integer (decimal, or hex after
// "$", "x", "X", "0x", "0X"); -1 when it is not one.
int32_t PackedNumber(const uint8_t* text, size_t n, uint8_t decimals);

// The aligned layout's number: the trimmed text as a decimal (sign, digits, at
// most one '.'), scaled by 10^decimals, rounded half away from zero; false when
// it is not a number or falls outside [lo, hi].
bool ScaledNumber(const uint8_t* text, size_t n, uint8_t decimals, int64_t lo, int64_t hi,
                  int64_t* value);
