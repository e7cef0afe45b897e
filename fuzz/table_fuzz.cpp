// Fuzz target: the whole conversion of one table held in memory, in both
// layouts, through the same steps the tool runs on files.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert.h"
#include "memory_files.h"

namespace {

// Keeps only the count and the ends of what is written; tables can legally
// produce far more output than they take.
class CountingOutput : public OutputFile {
 public:
  void WriteAll(const void* buf, size_t n) override {
    const char* p = static_cast<const char*>(buf);
    if (head.size() < 64) head.append(p, std::min<size_t>(n, 64 - head.size()));
    tail.append(p, n);
    if (tail.size() > 64) tail.erase(0, tail.size() - 64);
    bytes += n;
  }
  uint64_t bytes = 0;
  std::string head, tail;
};

void Check(bool ok) {
  if (!ok) abort();
}

void ConvertOnce(const std::string& table, Layout layout) {
  MemoryInput in(table);
  TableConversion conversion(layout);
  if (conversion.Read(in) != TableConversion::Verdict::kTable) return;
  CountingOutput data, script;
  conversion.ConvertRecords(data);
  conversion.ReleaseChunkBuffer();
  conversion.WriteScript(script, "o'data.dat");

  MemoryInput header_in(table);
  const TRecordPlan plan(conversion.Fields(), ReadTableHeader(header_in).RecordLength(), layout);
  Check(plan.RecordBytes() == 0 ? data.bytes == 0 : data.bytes % plan.RecordBytes() == 0);
  Check(script.head.rfind("Create table et\r\nExternal File 'o''data.dat' (\r\n", 0) == 0);
  Check(script.tail.size() >= 6 && script.tail.compare(script.tail.size() - 6, 6, "\r\n);\r\n") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string table(reinterpret_cast<const char*>(data), size);
  ConvertOnce(table, Layout::kPacked);
  ConvertOnce(table, Layout::kAligned);
  return 0;
}
