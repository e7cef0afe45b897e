#include "script.h"

#include <gtest/gtest.h>

#include <cstring>

#include "memory_files.h"
#include "table_builder.h"

namespace {

TEST(TableScript, Example) {
  FieldList fields = {MakeField("NAME", 'C', 20), MakeField("FLAG", 'L', 1), MakeField("AGE", 'N', 3),
                      MakeField("PRICE", 'N', 8, 2)};
  EXPECT_EQ(TableScript(fields, "people.dat", Layout::kPacked),
            "Create table et\r\n"
            "External File 'people.dat' (\r\n"
            "  \"NAME\"         VarChar(20),\r\n"
            "  \"AGE\"          Numeric(3,0),\r\n"
            "  \"PRICE\"        Numeric(8,2)\r\n"
            ");\r\n");
}

TEST(TableScript, NoColumns) {
  const std::string expected = "Create table et\r\nExternal File 'x' (\r\n\r\n);\r\n";
  EXPECT_EQ(TableScript({}, "x", Layout::kPacked), expected);
  EXPECT_EQ(TableScript({MakeField("A", 'L', 1), MakeField("B", 'L', 1)}, "x", Layout::kPacked), expected);
}

TEST(TableScript, ColumnNames) {
  struct Case {
    std::string name;  // the 11 name bytes (NUL-padded when shorter)
    std::string line;
  };
  const Case cases[] = {
      {"ABCDEFGHIJK", "  \"ABCDEFGHIJK\"  VarChar(1)"},  // the type text starts in column 17
      {"AB", "  \"AB\"           VarChar(1)"},
      {std::string("\0BC", 3), "  \"\"             VarChar(1)"},
      {"A B", "  \"A B\"          VarChar(1)"},
      {"  AB \x01", "  \"AB\"           VarChar(1)"},
      {"A\"B", "  \"A\"\"B\"         VarChar(1)"},       // padding counts the doubled quote
      {"\"\"\"\"\"\"\"\"\"\"\"", "  \"" + std::string(22, '"') + "\" VarChar(1)"},
      {"\x88\xA2\xA0\xAD", "  \"\x88\xA2\xA0\xAD\"         VarChar(1)"},  // bytes as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string text = TableScript({MakeField(c.name, 'C', 1)}, "d", Layout::kPacked);
    EXPECT_EQ(text, "Create table et\r\nExternal File 'd' (\r\n" + c.line + "\r\n);\r\n");
  }
}

TEST(TableScript, TypeTexts) {
  FieldList fields = {MakeField("N", 'N', 10), MakeField("Z", 'N', 0), MakeField("D", 'D', 8),
                      MakeField("M", 'm', 255), MakeField("C", 'C', 0)};
  EXPECT_EQ(TableScript(fields, "d", Layout::kPacked),
            "Create table et\r\nExternal File 'd' (\r\n"
            "  \"N\"            Numeric(10,0),\r\n"
            "  \"Z\"            Numeric(0,0),\r\n"
            "  \"D\"            VarChar(8),\r\n"
            "  \"M\"            VarChar(255),\r\n"
            "  \"C\"            VarChar(0)\r\n);\r\n");
}

TEST(TableScript, DataFileName) {
  struct Case {
    std::string name;
    std::string literal;
  };
  const Case cases[] = {
      {"C:\\out\\people.dat", "'C:\\out\\people.dat'"},
      {" spaced name.dat ", "' spaced name.dat '"},  // untrimmed
      {"o'brien.dat", "'o''brien.dat'"},
      {"''", "''''''"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TableScript({}, c.name, Layout::kPacked),
              "Create table et\r\nExternal File " + c.literal + " (\r\n\r\n);\r\n");
  }
}

TEST(TableScript, AlignedDeclaresEveryFieldWithItsCharacterSet) {
  FieldList fields = {MakeField("NAME", 'C', 5), MakeField("OK", 'L', 1), MakeField("AGE", 'N', 3),
                      MakeField("BIG", 'N', 20, 2), MakeField("E", 'C', 0)};
  EXPECT_EQ(TableScript(fields, "p.dat", Layout::kAligned),
            "Create table et\r\nExternal File 'p.dat' (\r\n"
            "  \"NAME\"         VarChar(5) CHARACTER SET WIN1251,\r\n"
            "  \"OK\"           VarChar(1) CHARACTER SET WIN1251,\r\n"
            "  \"AGE\"          Numeric(3,0),\r\n"
            "  \"BIG\"          VarChar(20) CHARACTER SET WIN1251,\r\n"
            "  \"E\"            VarChar(1) CHARACTER SET WIN1251\r\n);\r\n");
}

TEST(WriteTableScript, WritesTheTextInOneWrite) {
  MemoryOutput out;
  FieldList fields = {MakeField("A", 'C', 2)};
  WriteTableScript(out, fields, "a.dat", Layout::kPacked);
  EXPECT_EQ(out.bytes, TableScript(fields, "a.dat", Layout::kPacked));
  EXPECT_EQ(out.writes, 1);
}

}  // namespace
