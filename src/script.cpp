#include "script.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr uint16_t kPaddedNameLength = 13;

std::string Doubled(const std::string& s, char quote) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == quote) out += quote;
  }
  return out;
}

std::string TypeText(const TDbfField& field, const ColumnType& column, Layout layout) {
  if (column.kind == ColumnKind::kVarChar) {
    std::string text = " VarChar(" + std::to_string(column.size) + ")";
    if (layout == Layout::kAligned) text += " CHARACTER SET WIN1251";
    return text;
  }
  return " Numeric(" + std::to_string(field.Width()) + "," + std::to_string(field.Decimals()) + ")";
}

}  // namespace

std::string TableScript(const FieldList& fields, const std::string& data_name, Layout layout) {
  std::string text = "Create table et";
  text += kLineEnd;
  text += "External File '" + Doubled(data_name, '\'') + "' (" + kLineEnd;
  bool first = true;
  for (const TDbfField& field : fields) {
    const ColumnType column = ColumnOf(field, layout);
    if (column.kind == ColumnKind::kNone) continue;
    if (!first) text += std::string(",") + kLineEnd;
    first = false;
    text += "  \"" + PadRight(Doubled(Trim(field.Name()), '"') + "\"", ' ', kPaddedNameLength);
    text += TypeText(field, column, layout);
  }
  text += kLineEnd;
  text += ");";
  text += kLineEnd;
  return text;
}

void WriteTableScript(OutputFile& script, const FieldList& fields, const std::string& data_name,
                      Layout layout) {
  const std::string text = TableScript(fields, data_name, layout);
  script.WriteAll(text.data(), text.size());
}
