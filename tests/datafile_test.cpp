#include "datafile.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cstring>
#include <random>

#include "memory_files.h"
#include "table_builder.h"

namespace {

// Converts one record (deletion flag included) with the given fields.
std::string Convert(const FieldList& fields, const std::string& record, Layout layout = Layout::kPacked) {
  MemoryOutput out;
  {
    OutBuffer buffer(out, 4096);
    TRecordPlan plan(fields, static_cast<uint16_t>(record.size()), layout);
    ConvertRecord(reinterpret_cast<const uint8_t*>(record.data()), plan, buffer);
    buffer.Flush();
    EXPECT_EQ(out.bytes.size(), plan.RecordBytes());
  }
  return out.bytes;
}

std::string Hex(const std::string& s) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(ConvertRecord, WorkedExample) {
  FieldList fields = {MakeField("NAME", 'C', 5), MakeField("AGE", 'N', 3), MakeField("SUM", 'N', 8, 2)};
  std::string record = " " + Dos("Иван") + "  42   12.50";
  ASSERT_EQ(record.size(), 17u);
  EXPECT_EQ(Hex(Convert(fields, record)), "05 00 C8 E2 E0 ED 20 2A 00 E2 04 00 00");
}

TEST(ConvertRecord, LengthWordIsTheWidthNotTheText) {
  FieldList fields = {MakeField("T", 'C', 20)};
  EXPECT_EQ(Convert(fields, " ABC" + std::string(17, ' ')), U16(20) + "ABC" + std::string(17, ' '));
}

TEST(ConvertRecord, NulBytesDoNotShortenAField) {
  FieldList fields = {MakeField("T", 'C', 4)};
  EXPECT_EQ(Convert(fields, std::string(" A\0B\0", 5)), U16(4) + std::string("A\0B\0", 4));
}

TEST(ConvertRecord, FieldKindsFollowEachOtherDirectly) {
  FieldList fields = {MakeField("C0", 'C', 0), MakeField("L", 'L', 1), MakeField("N", 'N', 5),
                      MakeField("D", 'D', 8), MakeField("x", 'c', 2), MakeField("N4", 'N', 4)};
  EXPECT_EQ(Convert(fields, " T  -1219991231zz  77"),
            U16(0) + U32(0xFFFFFFF4) + U16(8) + "19991231" + U16(2) + "zz" + U16(77));
}

TEST(PackedNumber, Cases) {
  struct Case {
    const char* text;
    uint8_t decimals;
    int32_t value;
  };
  const Case cases[] = {
      {"   ", 0, -1},          {"", 0, -1},              {"42", 0, 42},
      {"  42 ", 0, 42},        {"+42", 0, 42},           {"-12", 0, -12},
      {"-0", 0, 0},            {"007", 0, 7},            {" 12.5", 1, 125},
      {"12.50", 2, 1250},      {"12.5", 0, -1},          {"12.5", 2, 125},   // not rescaled
      {"1.2.3", 1, -1},        {".", 1, -1},             {"-.5", 1, -5},
      {"9999999999", 0, -1},   {"2147483647", 0, 2147483647},
      {"2147483648", 0, -1},   {"-2147483648", 0, INT32_MIN},
      {"-2147483649", 0, -1},  {"$1F", 0, 31},           {"x1f", 0, 31},
      {"X10", 0, 16},          {"0x10", 0, 16},          {"0X7fffffff", 0, INT32_MAX},
      {"-$10", 0, -16},        {"+0x10", 0, 16},         {"$", 0, -1},
      {"0x", 0, -1},           {"$G", 0, -1},            {"$80000000", 0, -1},
      {"-$80000000", 0, INT32_MIN}, {"-", 0, -1},        {"+", 0, -1},
      {"1 2", 0, -1},          {"12a", 0, -1},           {"a12", 0, -1},
      {"--1", 0, -1},          {"- 1", 0, -1},           {"1e3", 0, -1},
      {"\x01" "5\t", 0, 5},    {"\xFF" "5", 0, -1},      {"00000000000000000042", 0, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" decimals " << int{c.decimals});
    EXPECT_EQ(PackedNumber(reinterpret_cast<const uint8_t*>(c.text), strlen(c.text), c.decimals), c.value);
  }
}

// The rule written out plainly: remove the first '.', trim, read an integer.
int32_t ReferenceNumber(std::string text, uint8_t decimals) {
  if (decimals != 0) {
    size_t dot = text.find('.');
    if (dot != std::string::npos) text.erase(dot, 1);
  }
  text = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 1, "$") == 0 || text.compare(i, 1, "x") == 0 || text.compare(i, 1, "X") == 0) {
    base = 16;
    i += 1;
  } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return -1;
  long long value = 0;
  for (; i < text.size(); ++i) {
    const std::string digits = base == 10 ? "0123456789" : "0123456789abcdef";
    size_t d = digits.find(static_cast<char>(base == 16 ? tolower(text[i]) : text[i]));
    if (d == std::string::npos) return -1;
    value = value * base + static_cast<long long>(d);
    if (value > 2147483648LL) return -1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return -1;
  return static_cast<int32_t>(value);
}

TEST(PackedNumber, AgreesWithThePlainRuleOnRandomTexts) {
  std::mt19937 rng(866);
  const std::string alphabet = "  0123456789999..--+$xXaF\x01\xC0";
  for (int i = 0; i < 300000; ++i) {
    std::string text(rng() % 14, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    const uint8_t decimals = static_cast<uint8_t>(rng() % 3);
    ASSERT_EQ(PackedNumber(reinterpret_cast<const uint8_t*>(text.data()), text.size(), decimals),
              ReferenceNumber(text, decimals))
        << '"' << text << "\" decimals " << int{decimals};
  }
}

TEST(PackedNumber, WidthDecidesTwoOrFourBytes) {
  struct Case {
    uint8_t width;
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {3, "   ", "\xFF\xFF"},
      {4, "-123", U16(static_cast<uint16_t>(-123))},
      {4, "$FFF", U16(0xFFF)},
      {4, "9999", U16(9999)},
      {4, "x123", U16(0x123)},
      {5, "-12", "\xF4\xFF\xFF\xFF"},
      {5, "99999", U32(99999)},
      {3, "999", U16(999)},
      {10, "9999999999", U32(0xFFFFFFFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " width " << int{c.width});
    std::string text(c.text);
    text.resize(c.width, ' ');
    EXPECT_EQ(Hex(Convert({MakeField("N", 'N', c.width)}, " " + text)), Hex(c.bytes));
  }
}

TEST(Cp866ToWin1251, Ranges) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    uint8_t expected = 0;
    if (b >= 0x80 && b <= 0xAF) expected = static_cast<uint8_t>(b + 0x40);
    if (b >= 0xE0 && b <= 0xEF) expected = static_cast<uint8_t>(b + 0x10);
    EXPECT_EQ(Cp866ToWin1251[b], b >= 0xF0 && b <= 0xF9 ? Cp866ToWin1251[b] : expected);
  }
  const uint8_t signs[][2] = {{0xF0, 0xA8}, {0xF1, 0xB8}, {0xF2, 0xAA}, {0xF3, 0xBA}, {0xF4, 0xAF}, {0xF5, 0xBF},
                              {0xF6, 0xA1}, {0xF7, 0xA2}, {0xF8, 0xB0}, {0xF9, 0x95}};
  for (const auto& s : signs) EXPECT_EQ(Cp866ToWin1251[s[0]], s[1]) << int{s[0]};
}

// Every byte, alone and in texts of every length and position (the text loop
// has a fast form for letters), comes out as the table says.
TEST(Cp866ToWin1251, TextConversionFollowsTheTable) {
  auto expect = [](uint8_t b) { return Cp866ToWin1251[b] ? Cp866ToWin1251[b] : b; };
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (size_t width : {1u, 7u, 16u, 33u, 255u}) {
    for (size_t start = 0; start < 256; start += width) {
      std::string text = all.substr(start, width);
      text.resize(width, 'a');
      std::string want = U16(static_cast<uint16_t>(width));
      for (char c : text) want += static_cast<char>(expect(static_cast<uint8_t>(c)));
      ASSERT_EQ(Hex(Convert({MakeField("T", 'C', static_cast<uint8_t>(width))}, " " + text)), Hex(want))
          << "width " << width << " from " << start;
    }
  }
  // Letters only: the fast form alone.
  std::string letters, want = U16(64);
  for (int b = 0x80; b < 0xB0; ++b) letters += static_cast<char>(b), want += static_cast<char>(b + 0x40);
  for (int b = 0xE0; b < 0xF0; ++b) letters += static_cast<char>(b), want += static_cast<char>(b + 0x10);
  EXPECT_EQ(Convert({MakeField("T", 'C', 64)}, " " + letters), want);
}

// The chunk is translated as a whole, numeric fields included; that is safe
// because every byte that changes, and everything it becomes, is 0x80 or
// above, where no number has a character.
TEST(Cp866ToWin1251, ChangesOnlyHighBytesIntoHighBytes) {
  for (int b = 0; b < 256; ++b) {
    if (Cp866ToWin1251[b] == 0) continue;
    EXPECT_GE(b, 0x80);
    EXPECT_GE(Cp866ToWin1251[b], 0x80) << b;
  }
}

// Every Cyrillic letter against the system's own converter.
TEST(Cp866ToWin1251, LettersAgreeWithIconv) {
  iconv_t cd = iconv_open("CP1251", "CP866");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 0x80; b <= 0xF1; ++b) {
    if (b >= 0xB0 && b <= 0xDF) continue;  // box drawing: not in Windows-1251
    char in = static_cast<char>(b), out = 0;
    char* pin = &in;
    char* pout = &out;
    size_t nin = 1, nout = 1;
    ASSERT_NE(iconv(cd, &pin, &nin, &pout, &nout), static_cast<size_t>(-1)) << b;
    EXPECT_EQ(Cp866ToWin1251[b], static_cast<uint8_t>(out)) << b;
  }
  iconv_close(cd);
}

TEST(Cp866ToWin1251, CharacterFieldsAreTranslatedOnceAndOthersPassThrough) {
  std::string in = "\x80\xAF\xE0\xEF\xA1\x41\x20\xB3\xB8\xF0\xFF\xF1\x00";
  std::string want = "\xC0\xEF\xF0\xFF\xE1\x41\x20\xB3\xB8\xA8\xFF\xB8";
  want += '\0';
  in += '\0';
  ASSERT_EQ(in.size(), 13u);
  EXPECT_EQ(Hex(Convert({MakeField("T", 'C', 13)}, " " + in)), Hex(U16(13) + want));
  // The same bytes in a field of another type are translated the same way.
  EXPECT_EQ(Hex(Convert({MakeField("T", 'M', 13)}, " " + in)), Hex(U16(13) + want));
}

// ---- the aligned layout ----------------------------------------------------------

TEST(AlignedLayout, ServerOffsets) {
  FieldList fields = {MakeField("A", 'C', 3), MakeField("B", 'N', 12), MakeField("C", 'N', 3),
                      MakeField("D", 'C', 4)};
  std::string record = " abc" + std::string(11, ' ') + "7" + " -5" + "wxyz";
  std::string expected = U16(3) + "abc" + std::string(7, '\0') + U64(7) + U16(static_cast<uint16_t>(-5)) +
                         U16(4) + "wxyz";
  ASSERT_EQ(expected.size(), 28u);
  EXPECT_EQ(Hex(Convert(fields, record, Layout::kAligned)), Hex(expected));
}

TEST(AlignedLayout, WorkedExample) {
  FieldList fields = {MakeField("NAME", 'C', 5), MakeField("AGE", 'N', 3), MakeField("SUM", 'N', 8, 2)};
  std::string record = " " + Dos("Иван") + "  42   12.50";
  std::string expected = U16(5) + "\xC8\xE2\xE0\xED " + std::string(1, '\0') + U16(42) +
                         std::string(2, '\0') + U32(1250);
  ASSERT_EQ(expected.size(), 16u);
  EXPECT_EQ(Hex(Convert(fields, record, Layout::kAligned)), Hex(expected));
}

TEST(AlignedLayout, NullFlagAreaDecidesWhereBigintsFall) {
  // One text column then a BIGINT: the image starts at 4*ceil(columns/32).
  // With 1-32 columns the text sits at 4 and the BIGINT at 8 (a gap of 1);
  // with 33-64 columns the text sits at 8 and the BIGINT at 16 (a gap of 5).
  for (int columns : {2, 32, 33, 64, 65}) {
    SCOPED_TRACE(columns);
    FieldList fields = {MakeField("T", 'C', 1), MakeField("B", 'N', 10)};
    for (int i = 2; i < columns; ++i) fields.push_back(MakeField("X", 'N', 4));
    std::string record = " t" + std::string(9, ' ') + "1" + std::string(4 * (columns - 2), ' ');
    std::string out = Convert(fields, record, Layout::kAligned);
    size_t flags = 4 * ((columns + 31) / 32);
    size_t gap = flags % 8 == 4 ? 1 : 5;
    EXPECT_EQ(out.substr(0, 3 + gap + 8), U16(1) + "t" + std::string(gap, '\0') + U64(1));
  }
}

TEST(AlignedLayout, ColumnTypes) {
  struct Case {
    char type;
    uint8_t width;
    uint8_t decimals;
    ColumnKind kind;
    uint16_t size;
  };
  const Case cases[] = {
      {'N', 1, 0, ColumnKind::kInt16, 0},   {'N', 4, 2, ColumnKind::kInt16, 0},
      {'N', 5, 0, ColumnKind::kInt32, 0},   {'N', 9, 9, ColumnKind::kInt32, 0},
      {'N', 10, 2, ColumnKind::kInt64, 0},  {'N', 18, 4, ColumnKind::kInt64, 0},
      {'N', 19, 0, ColumnKind::kVarChar, 19}, {'N', 0, 0, ColumnKind::kVarChar, 1},
      {'N', 3, 4, ColumnKind::kVarChar, 3}, {'C', 0, 0, ColumnKind::kVarChar, 1},
      {'C', 254, 0, ColumnKind::kVarChar, 254}, {'L', 1, 0, ColumnKind::kVarChar, 1},
      {'D', 8, 0, ColumnKind::kVarChar, 8}, {'n', 5, 0, ColumnKind::kVarChar, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << int{c.width} << "," << int{c.decimals});
    ColumnType t = ColumnOf(MakeField("F", c.type, c.width, c.decimals), Layout::kAligned);
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.size, c.size);
  }
}

TEST(AlignedLayout, EmptyTextColumnHoldsTheEmptyString) {
  FieldList fields = {MakeField("E", 'C', 0), MakeField("L", 'L', 1)};
  // The empty text takes 3 bytes (length word and one byte); the next length
  // word is aligned to 2, after one zero byte.
  EXPECT_EQ(Convert(fields, " T", Layout::kAligned), U16(0) + std::string(2, '\0') + U16(1) + "T");
}

TEST(ScaledNumber, Cases) {
  struct Case {
    const char* text;
    uint8_t decimals;
    bool ok;
    int64_t value;
  };
  const Case cases[] = {
      {"12.5", 2, true, 1250},   {"12.50", 2, true, 1250},   {" -99.99 ", 2, true, -9999},
      {"42", 0, true, 42},       {"+7", 1, true, 70},         {"12.345", 2, true, 1235},
      {"12.344", 2, true, 1234}, {"-12.345", 2, true, -1235}, {"0.5", 0, true, 1},
      {"-0.5", 0, true, -1},     {"0.49", 0, true, 0},        {".5", 1, true, 5},
      {"5.", 1, true, 50},       {"", 0, false, 0},           {"   ", 2, false, 0},
      {"-", 0, false, 0},        {".", 0, false, 0},          {"1.2.3", 2, false, 0},
      {"$10", 0, false, 0},      {"0x10", 0, false, 0},       {"1 2", 0, false, 0},
      {"32767", 0, true, 32767}, {"32768", 0, false, 0},      {"-32768", 0, true, -32768},
      {"-32769", 0, false, 0},   {"999.99", 2, false, 0},     {"327.67", 2, true, 32767},
      {"327.675", 2, false, 0},  // rounds up past the range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" decimals " << int{c.decimals});
    int64_t v = 0;
    bool ok = ScaledNumber(reinterpret_cast<const uint8_t*>(c.text), strlen(c.text), c.decimals,
                           INT16_MIN, INT16_MAX, &v);
    EXPECT_EQ(ok, c.ok);
    if (ok && c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
}

TEST(ScaledNumber, SixtyFourBitRange) {
  int64_t v = 0;
  std::string big = "999999999999999999";  // 18 digits
  EXPECT_TRUE(ScaledNumber(reinterpret_cast<const uint8_t*>(big.data()), big.size(), 0, INT64_MIN, INT64_MAX, &v));
  EXPECT_EQ(v, 999999999999999999LL);
  std::string huge(40, '9');
  EXPECT_FALSE(ScaledNumber(reinterpret_cast<const uint8_t*>(huge.data()), huge.size(), 0, INT64_MIN, INT64_MAX, &v));
  std::string min = "-9223372036854775808";
  EXPECT_TRUE(ScaledNumber(reinterpret_cast<const uint8_t*>(min.data()), min.size(), 0, INT64_MIN, INT64_MAX, &v));
  EXPECT_EQ(v, INT64_MIN);
  std::string scaled = "1";
  EXPECT_TRUE(ScaledNumber(reinterpret_cast<const uint8_t*>(scaled.data()), 1, 18, INT64_MIN, INT64_MAX, &v));
  EXPECT_EQ(v, 1000000000000000000LL);
}

TEST(AlignedLayout, NumbersThatDoNotFitAreMinusOne) {
  FieldList fields = {MakeField("S", 'N', 4, 2), MakeField("I", 'N', 9, 0)};
  EXPECT_EQ(Convert(fields, " 99.9abcdefghi", Layout::kAligned),
            U16(9990) + std::string(2, '\0') + U32(0xFFFFFFFF));
  EXPECT_EQ(Convert(fields, " 9999999999999", Layout::kAligned),
            U16(0xFFFF) + std::string(2, '\0') + U32(999999999));
}

}  // namespace
