#include "datafile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Cp866ToWin1251 with the "stays unchanged" entries filled in, so that the
// per-byte loop is a plain lookup.
struct Translation {
  uint8_t to[256];
  Translation() {
    for (int b = 0; b < 256; ++b)
      to[b] = Cp866ToWin1251[b] != 0 ? Cp866ToWin1251[b] : static_cast<uint8_t>(b);
  }
};
const Translation kTranslation;

// Translates n bytes in place. On x86 processors with AVX2, 32 bytes at a
// time: the high half of each byte picks what is added to it (0x80-0xAF: 0x40,
// 0xE0-0xEF: 0x10, the rest: nothing); a block holding a byte from 0xF0 up
// (the signs) goes through the table. What is left over goes through the table.
#if defined(__GNUC__) && defined(__x86_64__)
#define DBFEXT_AVX2 1
__attribute__((target("avx2"))) size_t TranslateAvx2(uint8_t* bytes, size_t n) {
  const __m256i add_by_high_half = _mm256_setr_epi8(
      0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x40, 0x40, 0, 0, 0, 0x10, 0,   //
      0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x40, 0x40, 0, 0, 0, 0x10, 0);  // per 16-byte lane
  const __m256i low_bits = _mm256_set1_epi8(0x0F);
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    __m256i* at = reinterpret_cast<__m256i*>(bytes + i);
    const __m256i v = _mm256_loadu_si256(at);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), low_bits);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, low_bits)) != 0) {
      for (size_t k = i; k < i + 32; ++k) bytes[k] = kTranslation.to[bytes[k]];
    } else {
      _mm256_storeu_si256(at, _mm256_add_epi8(v, _mm256_shuffle_epi8(add_by_high_half, high)));
    }
  }
  return i;
}
#endif

void TranslateInPlace(uint8_t* bytes, size_t n) {
  size_t i = 0;
#ifdef DBFEXT_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) i = TranslateAvx2(bytes, n);
#endif
  for (; i < n; ++i) bytes[i] = kTranslation.to[bytes[i]];
}

constexpr uint8_t kBlank = 0x20;
constexpr size_t kLengthWord = 2;

int HexDigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An optional sign, then decimal digits, or hex digits after $, x, X, 0x, 0X.
int32_t ParseInt32(const uint8_t* p, const uint8_t* end) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  unsigned base = 10;
  if (p < end && (*p == '$' || *p == 'x' || *p == 'X')) {
    base = 16;
    ++p;
  } else if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (p == end) return -1;
  constexpr uint64_t kMagnitudeLimit = uint64_t{1} << 31;
  uint64_t magnitude = 0;
  if (base == 10) {
    for (; p < end; ++p) {
      const unsigned digit = static_cast<unsigned>(*p) - '0';
      if (digit > 9) return -1;
      magnitude = magnitude * 10 + digit;
      if (magnitude > kMagnitudeLimit) return -1;
    }
  } else {
    for (; p < end; ++p) {
      const int digit = HexDigitValue(*p);
      if (digit < 0) return -1;
      magnitude = magnitude * 16 + static_cast<unsigned>(digit);
      if (magnitude > kMagnitudeLimit) return -1;
    }
  }
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  return magnitude < kMagnitudeLimit ? static_cast<int32_t>(magnitude) : -1;
}

uint16_t Alignment(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kInt32: return 4;
    case ColumnKind::kInt64: return 8;
    default: return 2;  // VarChar's length word, SmallInt
  }
}

uint32_t EncodedSize(const ColumnType& column) {
  switch (column.kind) {
    case ColumnKind::kVarChar: return kLengthWord + column.size;
    case ColumnKind::kInt16: return 2;
    case ColumnKind::kInt32: return 4;
    case ColumnKind::kInt64: return 8;
    case ColumnKind::kNone: break;
  }
  return 0;
}

// Bytes of the null-flag area in front of a server's record image: 4 for every
// started group of 32 columns.
uint64_t NullFlagBytes(size_t columns) { return 4 * ((columns + 31) / 32); }

}  // namespace

ColumnType ColumnOf(const TDbfField& field, Layout layout) {
  const uint8_t width = field.Width();
  if (layout == Layout::kPacked) {
    switch (field.Type()) {
      case 'L': return {ColumnKind::kNone, 0};
      case 'N': return {width <= 4 ? ColumnKind::kInt16 : ColumnKind::kInt32, 0};
      default: return {ColumnKind::kVarChar, width};
    }
  }
  // The aligned layout declares every field. The server's NUMERIC takes 1 to 18
  // digits with no more decimals than digits; any other field is text.
  if (field.Type() == 'N' && width >= 1 && width <= 18 && field.Decimals() <= width) {
    ColumnKind kind = width <= 4 ? ColumnKind::kInt16
                      : width <= 9 ? ColumnKind::kInt32
                                   : ColumnKind::kInt64;
    return {kind, 0};
  }
  return {ColumnKind::kVarChar, std::max<uint16_t>(width, 1)};  // VarChar(0) can't be declared
}

TRecordPlan::TRecordPlan(const FieldList& fields, uint16_t record_length, Layout layout)
    : record_length_(record_length) {
  size_t columns = 0;
  for (const TDbfField& field : fields)
    if (ColumnOf(field, layout).kind != ColumnKind::kNone) ++columns;
  uint64_t image_pos = layout == Layout::kAligned ? NullFlagBytes(columns) : 0;
  uint64_t start = 1;  // the deletion flag comes first
  for (const TDbfField& field : fields) {
    const ColumnType column = ColumnOf(field, layout);
    const uint64_t field_start = start;
    start += field.Width();
    if (column.kind == ColumnKind::kNone) continue;
    FieldPlan plan{};
    plan.kind = column.kind;
    plan.decimals = field.Decimals();
    plan.width = field.Width();
    plan.offset = static_cast<uint32_t>(std::min<uint64_t>(field_start, record_length));
    plan.present = static_cast<uint16_t>(std::min<uint64_t>(record_length - plan.offset, plan.width));
    plan.text_size = column.size;
    plan.scaled = layout == Layout::kAligned && field.Type() == 'N' && column.kind != ColumnKind::kVarChar;
    if (layout == Layout::kAligned) {
      const uint16_t align = Alignment(column.kind);
      const uint64_t placed = (image_pos + align - 1) / align * align;
      // The file holds the image from the first column on.
      plan.gap = fields_.empty() ? 0 : static_cast<uint16_t>(placed - image_pos);
      image_pos = placed + EncodedSize(column);
    }
    plan.out_bytes = plan.gap + EncodedSize(column);
    record_bytes_ += plan.out_bytes;
    max_field_bytes_ = std::max<size_t>(max_field_bytes_, plan.out_bytes);
    fields_.push_back(plan);
  }
}

namespace {

// The text as numeric fields almost always hold it: blanks, an optional minus,
// digits with at most one dot (when the field has decimals), blanks. Returns
// false for any other shape, which the general reading below then decides.
inline bool PlainNumber(const uint8_t* p, const uint8_t* end, bool has_decimals, int32_t* value) {
  constexpr uint64_t kLimit = uint64_t{1} << 31;  // the magnitude of INT32_MIN
  while (p < end && *p == ' ') ++p;
  const bool negative = p < end && *p == '-';
  p += negative;
  uint64_t magnitude = 0;
  unsigned digit;
  const uint8_t* digits = p;
  while (p < end && (digit = static_cast<unsigned>(*p) - '0') <= 9) magnitude = magnitude * 10 + digit, ++p;
  size_t count = static_cast<size_t>(p - digits);
  if (has_decimals && p < end && *p == '.') {  // the first dot is dropped
    digits = ++p;
    while (p < end && (digit = static_cast<unsigned>(*p) - '0') <= 9) magnitude = magnitude * 10 + digit, ++p;
    count += static_cast<size_t>(p - digits);
  }
  while (p < end && *p == ' ') ++p;
  if (p != end || count == 0 || count > 18) return false;
  *value = -1;
  if (negative && magnitude <= kLimit) *value = static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  if (!negative && magnitude < kLimit) *value = static_cast<int32_t>(magnitude);
  return true;
}

// Every other text: remove the first dot (when the field has decimals), trim,
// then read an integer.
__attribute__((noinline)) int32_t GeneralNumber(const uint8_t* text, size_t n, uint8_t decimals) {
  uint8_t buf[256];
  n = std::min(n, sizeof buf);
  const uint8_t* dot = decimals != 0 ? static_cast<const uint8_t*>(memchr(text, '.', n)) : nullptr;
  const uint8_t* begin = text;
  const uint8_t* end = text + n;
  if (dot != nullptr) {
    size_t before = static_cast<size_t>(dot - text);
    memcpy(buf, text, before);
    memcpy(buf + before, dot + 1, n - before - 1);
    begin = buf;
    end = buf + n - 1;
  }
  TrimBounds(begin, end);
  if (begin == end) return -1;
  return ParseInt32(begin, end);
}

}  // namespace

int32_t PackedNumber(const uint8_t* text, size_t n, uint8_t decimals) {
  int32_t value;
  if (PlainNumber(text, text + n, decimals != 0, &value)) return value;
  return GeneralNumber(text, n, decimals);
}

bool ScaledNumber(const uint8_t* text, size_t n, uint8_t decimals, int64_t lo, int64_t hi,
                  int64_t* value) {
  const uint8_t* p = text;
  const uint8_t* end = text + n;
  TrimBounds(p, end);
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // Past this, magnitude * 10 + 9 would not fit in 64 bits; any such value is
  // out of every range anyway.
  constexpr uint64_t kGrowLimit = (std::numeric_limits<uint64_t>::max() - 9) / 10;
  uint64_t magnitude = 0;
  bool any_digit = false;
  bool overflow = false;
  auto push = [&](unsigned digit) {
    if (magnitude > kGrowLimit) overflow = true;
    else magnitude = magnitude * 10 + digit;
  };
  for (; p < end && *p >= '0' && *p <= '9'; ++p, any_digit = true) push(*p - '0');
  unsigned fraction_digits = 0;
  bool round_up = false;
  if (p < end && *p == '.') {
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p, any_digit = true) {
      if (fraction_digits < decimals) push(*p - '0');
      else if (fraction_digits == decimals) round_up = *p >= '5';
      ++fraction_digits;
    }
  }
  if (!any_digit || p != end) return false;
  for (; fraction_digits < decimals; ++fraction_digits) push(0);
  if (round_up) {
    if (magnitude == std::numeric_limits<uint64_t>::max()) overflow = true;
    else ++magnitude;
  }
  if (overflow) return false;
  const uint64_t limit = negative ? static_cast<uint64_t>(-(lo + 1)) + 1 : static_cast<uint64_t>(hi);
  if (magnitude > limit) return false;
  *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

namespace {

// A numeric field's value in its column's range; -1 when the text is none.
inline int64_t NumberOf(const FieldPlan& f, const uint8_t* text, int64_t lo, int64_t hi) {
  if (!f.scaled) return PackedNumber(text, f.present, f.decimals);
  int64_t value = -1;
  return ScaledNumber(text, f.present, f.decimals, lo, hi, &value) ? value : -1;
}

}  // namespace

namespace {

// One record whose text is translated already.
void EncodeRecord(const uint8_t* record, const TRecordPlan& plan, OutBuffer& out) {
  for (const FieldPlan& f : plan.Fields()) {
    uint8_t* p = out.Reserve(f.out_bytes);
    if (f.gap != 0) {
      memset(p, 0, f.gap);
      p += f.gap;
    }
    const uint8_t* src = record + f.offset;
    switch (f.kind) {
      case ColumnKind::kVarChar: {
        PutU16(p, f.width);
        p += kLengthWord;
        memcpy(p, src, f.present);
        if (f.present != f.width) memset(p + f.present, kBlank, f.width - f.present);
        if (f.text_size != f.width) memset(p + f.width, 0, f.text_size - f.width);
        p += f.text_size;
        break;
      }
      case ColumnKind::kInt16:
        PutU16(p, static_cast<uint16_t>(NumberOf(f, src, INT16_MIN, INT16_MAX)));
        p += 2;
        break;
      case ColumnKind::kInt32:
        PutU32(p, static_cast<uint32_t>(NumberOf(f, src, INT32_MIN, INT32_MAX)));
        p += 4;
        break;
      case ColumnKind::kInt64:
        PutU64(p, static_cast<uint64_t>(NumberOf(f, src, INT64_MIN, INT64_MAX)));
        p += 8;
        break;
      case ColumnKind::kNone:
        break;
    }
    out.Commit(p);
  }
}

}  // namespace

void ConvertRecords(uint8_t* records, size_t count, const TRecordPlan& plan, OutBuffer& out) {
  const size_t length = plan.RecordLength();
  // Numbers read the same from translated bytes: translation changes only
  // bytes from 0x80 up, into bytes from 0x80 up, which no number holds.
  TranslateInPlace(records, count * length);
  for (size_t i = 0; i < count; ++i) EncodeRecord(records + i * length, plan, out);
}

void ConvertRecord(const uint8_t* record, const TRecordPlan& plan, OutBuffer& out) {
  std::vector<uint8_t> copy(record, record + plan.RecordLength());
  ConvertRecords(copy.data(), 1, plan, out);
}
