#include "mydbf.h"

#include <gtest/gtest.h>

#include "datafile.h"
#include "memory_files.h"
#include "table_builder.h"

namespace {

TEST(ReadTableHeader, DecodesTheFieldsItUses) {
  MemoryInput in(TableBuilder().Field("A", 'C', 7).RecordCount(0x01020304).RecordLength(0x0A0B).Build());
  TDbfHeader h = ReadTableHeader(in);
  EXPECT_EQ(h.Version(), 3);
  EXPECT_EQ(h.RecordCount(), 0x01020304u);
  EXPECT_EQ(h.RecordLength(), 0x0A0B);
}

TEST(ReadTableHeader, ShortFileLeavesTheRestZero) {
  MemoryInput empty("");
  EXPECT_EQ(ReadTableHeader(empty).Version(), 0);
  MemoryInput five(std::string("\x03\x01\x02\x03\x07", 5));
  TDbfHeader h = ReadTableHeader(five);
  EXPECT_EQ(h.Version(), 3);
  EXPECT_EQ(h.RecordCount(), 7u);
  EXPECT_EQ(h.RecordLength(), 0);
}

struct Descriptors {
  bool ok;
  FieldList fields;
  uint64_t offset = 0;
};

Descriptors ReadAll(const std::string& table) {
  MemoryInput in(table);
  ReadTableHeader(in);
  Descriptors d;
  d.ok = ReadFieldDescriptors(in, &d.fields, &d.offset);
  return d;
}

TEST(ReadFieldDescriptors, NoFields) {
  Descriptors d = ReadAll(TableBuilder().Build());
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.fields.empty());
  EXPECT_EQ(d.offset, 33u);
}

TEST(ReadFieldDescriptors, KeepsEveryDescriptorInOrder) {
  Descriptors d = ReadAll(TableBuilder()
                              .Field("NAMEFILLS11", 'C', 20)
                              .Field("AB", 'N', 8, 2)
                              .Field("F", 'L', 1)
                              .Field("d", 'd', 255, 255)
                              .Build());
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.fields.size(), 4u);
  EXPECT_EQ(d.offset, 32u + 4 * 32 + 1);
  EXPECT_EQ(d.fields[0].Name(), "NAMEFILLS11");
  EXPECT_EQ(d.fields[1].Name(), "AB");
  EXPECT_EQ(d.fields[1].Type(), 'N');
  EXPECT_EQ(d.fields[1].Width(), 8);
  EXPECT_EQ(d.fields[1].Decimals(), 2);
  EXPECT_EQ(d.fields[3].Type(), 'd');
  EXPECT_EQ(d.fields[3].Width(), 255);
  EXPECT_EQ(d.fields[3].Decimals(), 255);
}

TEST(ReadFieldDescriptors, NameStopsAtFirstNulAndKeepsTheRawBytes) {
  std::string table = TableBuilder().Field("AB", 'C', 1).Build();
  table = SetByte(table, 32 + 5, 'Z');  // behind the NUL
  Descriptors d = ReadAll(table);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.fields[0].Name(), "AB");
  EXPECT_EQ(d.fields[0].bytes[5], 'Z');
}

TEST(ReadFieldDescriptors, TerminatorBlockMayBeCutByTheEndOfTheFile) {
  std::string table = TableBuilder().Field("A", 'C', 1).EofMarker(false).Build();
  ASSERT_EQ(table.size(), 65u);  // the terminator is the last byte
  Descriptors d = ReadAll(table);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.offset, 65u);
}

// A file that ends inside the descriptor array, before any block that starts
// with 0x0D, is not read as a table.
TEST(ReadFieldDescriptors, FileEndingInsideTheDescriptorsIsNoTable) {
  std::string table = TableBuilder().Field("A", 'C', 1).Field("B", 'C', 1).Build();
  for (size_t size : {32u, 33u, 63u, 64u, 80u, 96u}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(ReadAll(Cut(table, size)).ok);
  }
  EXPECT_TRUE(ReadAll(Cut(table, 97)).ok);
}

TEST(ReadFieldDescriptors, HeaderLengthIsNotConsulted) {
  // The header says 66, with one extra byte after the terminator; the records
  // still start at 65.
  std::string table = TableBuilder().Field("A", 'C', 1).ExtraHeaderBytes("X").Build();
  ASSERT_EQ(GetU16(reinterpret_cast<const uint8_t*>(table.data()) + 8), 66);
  EXPECT_EQ(ReadAll(table).offset, 65u);
}

TEST(PadRight, PadsOnlyShortStrings) {
  EXPECT_EQ(PadRight("AB", '.', 5), "AB...");
  EXPECT_EQ(PadRight("ABCDE", '.', 5), "ABCDE");
  EXPECT_EQ(PadRight("ABCDEF", '.', 5), "ABCDEF");
  EXPECT_EQ(PadRight("", ' ', 0), "");
}

// ---- the chunk loop ----------------------------------------------------------

struct LoopResult {
  std::string data;
  int reads;
};

// Runs the data area of `table` through a plan of its own fields.
LoopResult ConvertAll(const std::string& table, Layout layout = Layout::kPacked) {
  MemoryInput in(table);
  TDbfHeader header = ReadTableHeader(in);
  FieldList fields;
  uint64_t offset = 0;
  EXPECT_TRUE(ReadFieldDescriptors(in, &fields, &offset));
  DataArea area(in, header, offset);
  in.reads = 0;
  MemoryOutput out;
  area.ConvertRecords(TRecordPlan(fields, area.RecordLength(), layout), out);
  return {out.bytes, in.reads};
}

// A table of `n` records of 100 bytes: one C field holding the record's number.
TableBuilder Numbered(int n) {
  TableBuilder b;
  b.Field("ID", 'C', 99);
  for (int i = 0; i < n; ++i) b.Record({std::to_string(i)});
  return b;
}

std::string NumberedData(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    std::string v = std::to_string(i);
    out += U16(99) + v + std::string(99 - v.size(), ' ');
  }
  return out;
}

TEST(ConvertRecords, ChunkBoundaries) {
  struct Case {
    int records;
    bool marker;
    int reads;  // block reads of the data area, the last one returning nothing included
  };
  const Case cases[] = {
      {999, true, 1},    // one chunk of 99,901 bytes
      {1000, true, 2},   // 100,000 bytes, then the marker alone
      {1000, false, 1},  // exactly one chunk, and it is the last
      {1001, true, 2},
      {5000, true, 6},   // five full chunks and the marker
      {5000, false, 5},
      {0, true, 1},
      {0, false, 0},     // an empty data area: chunk size 0, nothing is read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.records << " records, marker " << c.marker);
    LoopResult r = ConvertAll(Numbered(c.records).EofMarker(c.marker).Build());
    EXPECT_EQ(r.data, NumberedData(c.records));
    EXPECT_EQ(r.reads, c.reads);
  }
}

TEST(ConvertRecords, RecordCountDecidesHowManyOfThePresentRecordsGo) {
  struct Case {
    uint32_t count;
    int expected;
  };
  const Case cases[] = {
      {3, 3}, {10, 10}, {11, 10}, {2500, 10}, {0, 0}, {0x80000000u, 0}, {0xFFFFFFFFu, 0}, {0x7FFFFFFFu, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(ConvertAll(Numbered(10).RecordCount(c.count).Build()).data, NumberedData(c.expected));
  }
}

TEST(ConvertRecords, CountSpreadOverSeveralChunks) {
  EXPECT_EQ(ConvertAll(Numbered(2500).RecordCount(1500).Build()).data, NumberedData(1500));
}

TEST(ConvertRecords, DataCutInsideARecordConvertsTheWholeOnesOnly) {
  std::string table = Numbered(10).EofMarker(false).Build();
  EXPECT_EQ(ConvertAll(Cut(table, table.size() - 50)).data, NumberedData(9));
}

TEST(ConvertRecords, RecordLengthZeroReadsNothing) {
  LoopResult r = ConvertAll(Numbered(5).RecordLength(0).Build());
  EXPECT_EQ(r.data, "");
  EXPECT_EQ(r.reads, 0);
}

TEST(ConvertRecords, NoFieldsGivesAnEmptyDataFile) {
  TableBuilder b;
  for (int i = 0; i < 3; ++i) b.RawRecord(" ");
  EXPECT_EQ(ConvertAll(b.Build()).data, "");
}

TEST(ConvertRecords, DeletedRecordsAreWrittenLikeAnyOther) {
  TableBuilder b;
  b.Field("A", 'C', 2).Record({"ab"}, '*').Record({"cd"}, ' ');
  EXPECT_EQ(ConvertAll(b.Build()).data, U16(2) + "ab" + U16(2) + "cd");
}

// A field that reaches past its record's end takes blanks for the missing
// bytes, never the next record's bytes.
TEST(ConvertRecords, FieldPastTheRecordEndReadsBlanks) {
  TableBuilder b;
  b.Field("A", 'C', 3).Field("B", 'C', 4).Field("N", 'N', 3).RecordLength(6);
  b.RawRecord(" abcXY").RawRecord(" defZW");
  EXPECT_EQ(ConvertAll(b.Build()).data,
            U16(3) + "abc" + U16(4) + "XY  " + U16(0xFFFF) +
            U16(3) + "def" + U16(4) + "ZW  " + U16(0xFFFF));
}

TEST(ConvertRecords, LongerRecordThanFieldsSkipsTheRest) {
  TableBuilder b;
  b.Field("A", 'C', 2).RecordLength(6);
  b.RawRecord(" ab...").RawRecord(" cd...");
  EXPECT_EQ(ConvertAll(b.Build()).data, U16(2) + "ab" + U16(2) + "cd");
}

}  // namespace
