// For any well-formed table the script declares exactly the bytes the data
// file holds: the declarations are read back from the script text and the data
// file is walked with them alone.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "convert.h"
#include "memory_files.h"
#include "table_builder.h"

namespace {

struct Column {
  bool text;
  unsigned size;  // VarChar: declared length; Numeric: bytes of the integer
};

// The columns that a script declares, with the bytes each takes.
std::vector<Column> Declared(const std::string& script, Layout layout) {
  std::vector<Column> columns;
  std::regex decl(R"(  "[^"]*" +(VarChar\((\d+)\)|Numeric\((\d+),(\d+)\)))");
  for (auto it = std::sregex_iterator(script.begin(), script.end(), decl); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    if (m[2].matched) {
      columns.push_back({true, static_cast<unsigned>(std::stoi(m[2]))});
    } else {
      unsigned width = static_cast<unsigned>(std::stoi(m[3]));
      unsigned bytes = width <= 4 ? 2 : 4;
      if (layout == Layout::kAligned && width > 9) bytes = 8;
      columns.push_back({false, bytes});
    }
  }
  return columns;
}

struct Walk {
  size_t record_bytes = 0;
  std::vector<size_t> offsets;  // of each column within a record of the file
};

// Where each declared column sits: one after the other, or (aligned) at the
// server's offsets behind a null-flag area of 4 bytes a started 32 columns.
Walk Place(const std::vector<Column>& columns, Layout layout) {
  Walk w;
  size_t pos = layout == Layout::kAligned ? 4 * ((columns.size() + 31) / 32) : 0;
  size_t first = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    size_t size = columns[i].text ? 2 + columns[i].size : columns[i].size;
    size_t align = columns[i].text ? 2 : columns[i].size;
    if (layout == Layout::kAligned) pos = (pos + align - 1) / align * align;
    if (i == 0) first = pos;
    w.offsets.push_back(pos - first);
    pos += size;
  }
  w.record_bytes = columns.empty() ? 0 : pos - first;
  return w;
}

TEST(DataAndScriptAgree, OverRandomTables) {
  std::mt19937 rng(20261211);
  const char types[] = {'C', 'N', 'L', 'D', 'M', 'F', 'c'};
  for (int table = 0; table < 200; ++table) {
    TableBuilder b;
    std::vector<std::pair<char, int>> fields;
    int count = static_cast<int>(rng() % 70);
    for (int i = 0; i < count; ++i) {
      char type = types[rng() % sizeof types];
      int width = static_cast<int>(type == 'N' ? rng() % 21 : type == 'L' ? 1 : rng() % 40);
      int decimals = type == 'N' && width > 1 ? static_cast<int>(rng() % (width / 2 + 1)) : 0;
      b.Field("F" + std::to_string(i), type, static_cast<uint8_t>(width), static_cast<uint8_t>(decimals));
      fields.push_back({type, width});
    }
    int records = static_cast<int>(rng() % 30);
    for (int r = 0; r < records; ++r) {
      std::vector<std::string> values;
      for (auto [type, width] : fields)
        values.push_back(type == 'N' ? std::to_string(static_cast<int>(rng() % 2000) - 1000) : "\x80\xA0z");
      b.Record(values);
    }
    for (Layout layout : {Layout::kPacked, Layout::kAligned}) {
      SCOPED_TRACE(testing::Message() << "table " << table << (layout == Layout::kAligned ? " aligned" : ""));
      MemoryInput in(b.Build());
      MemoryOutput data, script;
      TableConversion conversion(layout);
      ASSERT_EQ(conversion.Read(in), TableConversion::Verdict::kTable);
      conversion.ConvertRecords(data);
      conversion.WriteScript(script, "t.dat");

      std::vector<Column> columns = Declared(script.bytes, layout);
      Walk walk = Place(columns, layout);
      ASSERT_EQ(data.bytes.size(), walk.record_bytes * records);
      // Every text column starts with its length word: the width of its field.
      size_t column = 0;
      for (auto [type, width] : fields) {
        if (layout == Layout::kPacked && type == 'L') continue;
        if (columns[column].text && records > 0) {
          const auto* p = reinterpret_cast<const uint8_t*>(data.bytes.data()) + walk.offsets[column];
          EXPECT_EQ(GetU16(p), width) << "column " << column;
          if (width >= 3 && type != 'N') {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 2), 3), "\xC0\xE0z");
          }
        }
        ++column;
      }
      EXPECT_EQ(column, columns.size());
    }
  }
}

}  // namespace
