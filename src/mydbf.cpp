#include "mydbf.h"

#include <algorithm>

#include "datafile.h"

std::string TDbfField::Name() const {
  const uint8_t* begin = bytes + kFieldName;
  const uint8_t* end = std::find(begin, begin + kFieldNameSize, 0);
  return std::string(begin, end);
}

TDbfHeader ReadTableHeader(InputFile& table) {
  TDbfHeader header;
  table.Seek(0);
  table.Read(header.bytes, kHeaderSize);
  return header;
}

bool ReadFieldDescriptors(InputFile& table, FieldList* fields, uint64_t* data_offset) {
  uint64_t offset = 0;
  for (;;) {
    offset += kFieldSize;
    TDbfField field;
    size_t got = table.Read(field.bytes, kFieldSize);
    // The terminator block may be cut short by the end of the file: only its
    // first byte counts. Any other short block means the file ends inside the
    // descriptor array, and such a file is answered as not a table.
    if (got > 0 && field.bytes[0] == kDescriptorsEnd) break;
    if (got < kFieldSize) return false;
    fields->push_back(field);
  }
  *data_offset = offset + 1;
  return true;
}

DataArea::DataArea(InputFile& table, const TDbfHeader& header, uint64_t data_offset)
    : table_(table),
      record_length_(header.RecordLength()),
      records_left_(static_cast<int32_t>(header.RecordCount())) {
  table_.Seek(data_offset);
  uint64_t size = table_.Size();
  remaining_ = size > data_offset ? size - data_offset : 0;
  chunk_size_ = std::min<uint64_t>(uint64_t{record_length_} * kRecordsPerChunk, remaining_);
  if (chunk_size_ > 0) chunk_.reset(new uint8_t[chunk_size_]);
}

void DataArea::ConvertRecords(const TRecordPlan& plan, OutputFile& data) {
  OutBuffer out(data, std::max(plan.MaxFieldBytes(), kDataBufferSize));
  for (;;) {
    bool last_chunk = remaining_ <= chunk_size_;
    size_t n = chunk_size_ > 0 ? table_.Read(chunk_.get(), chunk_size_) : 0;
    if (n == 0) break;
    // The header's record count may lie either way: only whole records that
    // are present are converted, and none past the count (a count of 2^31 or
    // more reads as negative: none). The bytes after the last whole record,
    // the end-of-file marker or a record cut short, are read and left alone.
    size_t whole = n / record_length_;
    size_t k = records_left_ > 0 ? std::min<size_t>(whole, static_cast<size_t>(records_left_)) : 0;
    ::ConvertRecords(chunk_.get(), k, plan, out);
    records_left_ -= static_cast<int32_t>(k);
    remaining_ -= std::min<uint64_t>(n, remaining_);
    if (last_chunk) break;
  }
  out.Flush();
}

// Only the Cyrillic letters and a few signs change; box drawing and everything
// below 0x80 pass through. Ё (0xF0) becomes 0xA8 like ё becomes 0xB8: left
// unchanged it would read as the letter р in Windows-1251.
const uint8_t Cp866ToWin1251[256] = {
    // 0x00-0x7F: unchanged
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x80-0xAF: А..Я, а..п
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    // 0xB0-0xDF: box drawing, unchanged
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xE0-0xEF: р..я
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
    // 0xF0-0xFF: Ё ё Є є Ї ї Ў ў ° •; the rest stays
    0xA8, 0xB8, 0xAA, 0xBA, 0xAF, 0xBF, 0xA1, 0xA2, 0xB0, 0x95, 0, 0, 0, 0, 0, 0,
};

std::string PadRight(const std::string& s, char c, uint16_t length) {
  if (s.size() >= length) return s;
  return s + std::string(length - s.size(), c);
}
