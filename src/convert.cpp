#include "convert.h"

#include "script.h"

TableConversion::Verdict TableConversion::Read(InputFile& table) {
  const TDbfHeader header = ReadTableHeader(table);
  if (header.Version() == kVersionDbase4) return Verdict::kUnsupportedVersion;
  if (header.Version() != kVersionDbase3) return Verdict::kNotATable;
  uint64_t data_offset = 0;
  if (!ReadFieldDescriptors(table, &fields_, &data_offset)) return Verdict::kNotATable;
  area_.emplace(table, header, data_offset);
  return Verdict::kTable;
}

void TableConversion::ConvertRecords(OutputFile& data) {
  area_->ConvertRecords(TRecordPlan(fields_, area_->RecordLength(), layout_), data);
}

void TableConversion::ReleaseChunkBuffer() { area_->Release(); }

void TableConversion::WriteScript(OutputFile& script, const std::string& data_name) const {
  WriteTableScript(script, fields_, data_name, layout_);
}
