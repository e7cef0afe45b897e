// One table's conversion: everything between the open steps of the run, on
// files given by the caller. The tool runs it on real files; the fuzzer and
// the tests run the very same steps on bytes in memory.
//
// Contract: the caller opens and closes every file; this object owns the field
// list and the chunk buffer. Read() must succeed (return kTable) before the
// other steps are called, and they are called in the order declared.
#pragma once

#include <optional>
#include <string>

#include "datafile.h"
#include "mydbf.h"
#include "platform.h"

class TableConversion {
 public:
  enum class Verdict { kTable, kUnsupportedVersion, kNotATable };

  explicit TableConversion(Layout layout) : layout_(layout) {}

  // Header, field descriptors and the set-up of the data area.
  Verdict Read(InputFile& table);
  // Every record of the table into `data`.
  void ConvertRecords(OutputFile& data);
  void ReleaseChunkBuffer();
  // The Create table statement, with the data file under `data_name`.
  void WriteScript(OutputFile& script, const std::string& data_name) const;

  const FieldList& Fields() const { return fields_; }

 private:
  Layout layout_;
  FieldList fields_;
  std::optional<DataArea> area_;
};
