// Reading screen sources: the fixed-column lines of a layout file and the
// inline field specification lists.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/messages.h"
#include "core/string_area.h"
#include "core/text.h"
#include "data/structures.h"
#include "expr/evaluator.h"
#include "ui/screen_internal.h"

namespace tessaly::screens {

// ---- Splitting -----------------------------------------------------------------------

std::vector<std::string> SplitOutside(std::string_view text, char sep) {
  std::vector<std::string> parts;
  std::string current;
  char quote = 0;
  int depth = 0;
  for (char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(' || c == '[' || c == '{') {
      ++depth;
    } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
      --depth;
    } else if (c == sep && depth == 0) {
      parts.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  parts.push_back(current);
  return parts;
}

size_t FindOutsideQuotes(std::string_view text, std::string_view pattern) {
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (text.compare(i, pattern.size(), pattern) == 0) return i;
  }
  return std::string_view::npos;
}

namespace {

size_t CountOutsideQuotes(std::string_view text, char ch) {
  size_t n = 0;
  char quote = 0;
  for (char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ch) {
      ++n;
    }
  }
  return n;
}

// ---- Layout lines -----------------------------------------------------------------------

// A number of fixed columns: digits and blanks only (blanks read as 0).
bool CellNumber(std::string_view content, size_t at, size_t width, int* out) {
  if (at + width > content.size()) return false;
  int n = 0;
  for (size_t i = at; i < at + width; ++i) {
    char c = content[i];
    if (c == ' ') continue;
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *out = n;
  return true;
}

// A label's number columns: read leniently, as the integer reader does.
int LenientNumber(std::string_view content, size_t at, size_t width) {
  if (at >= content.size()) return 0;
  std::string_view part = content.substr(at, width);
  int n = 0;
  for (char c : part) {
    if (c >= '0' && c <= '9') n = n * 10 + (c - '0');
  }
  return n;
}

constexpr size_t kFieldLineLength = 12;

}  // namespace

void ReadLayoutLine(Slice content_slice, ScreenSource* source, int load_mode) {
  std::string_view content = content_slice.view();
  if (content.empty()) return;
  if (content[0] == '0') {
    int row = LenientNumber(content, 1, 2);
    int column = LenientNumber(content, 3, 2);
    std::string_view text = content.size() > 5 ? content.substr(5) : std::string_view();
    if (row == 1 && column == 1 && !text.empty() && text[0] == '<') {
      source->has_title = true;
      source->title_text = content.size() > 8 ? std::string(content.substr(8)) : std::string();
      return;
    }
    source->labels.push_back(ScreenLabel{row, column, std::string(text)});
    return;
  }
  if (content[0] != '1') return;

  FieldSource field;
  field.placed = true;
  field.spec = std::string(content);
  int row = 0, column = 0, file = 0, number = 0, width = 0;
  bool readable = content.size() >= kFieldLineLength && CellNumber(content, 1, 2, &row) &&
                  CellNumber(content, 3, 2, &column) && CellNumber(content, 5, 2, &file) &&
                  CellNumber(content, 7, 2, &number) && CellNumber(content, 9, 2, &width);
  field.row = row;
  field.column = column;
  if (!readable || width == 0 || !IsFieldType(content[11])) {
    field.status = Status::kBadInputData;
    source->fields.push_back(field);
    return;
  }
  field.type = content[11];
  field.width = width;
  if (file != 0) {
    FieldDesc desc;
    if (file > FileCount() || number == 0 || !FieldInfo(file, number, &desc).ok()) {
      field.status = MissingStatus(load_mode);
    } else {
      field.file = file;
      field.file_field = number;
    }
  }
  source->fields.push_back(field);
}

// ---- Inline lists ---------------------------------------------------------------------------

void SplitFieldList(Slice spec, std::string* fields, std::string* options) {
  std::string text = spec.str();
  if (CountOutsideQuotes(text, '/') == 1 && CountOutsideQuotes(text, ';') > 1) {
    char quote = 0;
    for (char& c : text) {
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == ';') {
        c = ':';
      }
    }
  }
  size_t cut = FindOutsideQuotes(text, " /");
  if (cut == std::string::npos) {
    *fields = text;
    options->clear();
    return;
  }
  *fields = text.substr(0, cut);
  *options = std::string(TrimView(std::string_view(text).substr(cut + 2)));
}

namespace {

bool IsTypeSpec(std::string_view text) {
  if (text.size() < 2 || !IsFieldType(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool LooksLikeReference(std::string_view text) {
  size_t open = text.find('{');
  return open != std::string_view::npos && open > 0 && !text.empty() && text.back() == '}';
}

// A part 3 that a variable or a limit target can be: a name of letters,
// digits and the markers, with an optional subscript, or a field reference;
// either may be followed by a comparison operator.
bool IsTargetReference(std::string_view text) {
  while (!text.empty() && (text.back() == '=' || text.back() == '<' || text.back() == '>' ||
                           text.back() == '!')) {
    text.remove_suffix(1);
  }
  text = TrimView(text);
  if (text.empty()) return false;
  if (LooksLikeReference(text)) return true;
  size_t paren = text.find('(');
  std::string_view name = text.substr(0, paren);
  if (paren != std::string_view::npos && text.back() != ')') return false;
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '.' || c == '$' || c == '#' || c == '%';
  });
}

// The comparison written after a field reference in a limit target:
// the operator numbers 9-14 of the expression operators.
int TargetComparison(std::string_view target) {
  size_t close = target.rfind('}');
  if (close == std::string_view::npos) return 0;
  std::string_view op = TrimView(target.substr(close + 1));
  struct Op {
    const char* text;
    int number;
  };
  constexpr Op kOps[] = {{"==", 11}, {">=", 12}, {"<=", 13}, {"<>", 14}, {">", 9}, {"<", 10}};
  for (const Op& o : kOps) {
    if (op == o.text) return o.number;
  }
  return 0;
}

// The label of a limit field whose label part names a data-file field: the
// structure's field name, the comparison's words of message 0080 and ":".
// Without an operator the first field of the list reads ">=" and the second
// "<=", so that two limit fields read From and To.
std::string LimitLabel(const FieldDesc& desc, std::string_view target, int position) {
  int op = TargetComparison(target);
  if (op == 0 && position == 1) op = 12;
  if (op == 0 && position == 2) op = 13;
  std::string label = desc.name.str();
  if (op != 0) {
    AreaMark mark;
    label += Item(Message(80), ',', op - 8).str();
  }
  return label + ":";
}

// A label beginning with "{row,column}": the placement, and the text after
// the last closing brace.
void ReadLabelPlacement(FieldSource* field, std::string text) {
  if (!text.empty() && text[0] == '{') {
    size_t close = text.find('}');
    if (close != std::string::npos) {
      std::string_view inner = std::string_view(text).substr(1, close - 1);
      size_t comma = inner.find(',');
      if (comma != std::string_view::npos) {
        AreaMark mark;
        field->label_row = Integer(Slice::Of(TrimView(inner.substr(0, comma))));
        field->label_column = Integer(Slice::Of(TrimView(inner.substr(comma + 1))));
      }
      text = text.substr(text.rfind('}') + 1);
    }
  }
  field->label = text;
}

// "/ROW=n" and "/COL=n" place the field; they and what follows them are cut.
void CutPlacement(std::string* text, FieldSource* field) {
  size_t row = FindOutsideQuotes(*text, "/ROW");
  size_t column = FindOutsideQuotes(*text, "/COL");
  AreaMark mark;
  if (row != std::string::npos && row + 5 <= text->size()) {
    field->row_override = Integer(Slice::Of(std::string_view(*text).substr(row + 5)));
  }
  if (column != std::string::npos && column + 5 <= text->size()) {
    field->column_override = Integer(Slice::Of(std::string_view(*text).substr(column + 5)));
  }
  size_t cut = std::min(row, column);
  if (cut != std::string::npos) text->resize(cut);
}

FieldSource ReadInlineField(std::string text, int position, int load_mode) {
  FieldSource field;
  CutPlacement(&text, &field);
  field.spec = std::string(TrimView(text));
  std::vector<std::string> parts = SplitOutside(field.spec, ':');
  for (std::string& p : parts) p = std::string(TrimView(p));
  if (field.spec.empty() || parts.size() > 5) {
    field.status = Status::kBadInputData;
    return field;
  }
  AreaMark mark;
  if (parts.size() == 1) {
    // A field reference: the structure gives type and widths.
    FieldDesc desc;
    if (!LooksLikeReference(parts[0]) ||
        !FieldReferenceQuiet(Slice::Of(parts[0]), &desc).ok()) {
      field.status = MissingStatus(load_mode);
      return field;
    }
    field.file = desc.file;
    field.file_field = desc.number;
    field.type = desc.type;
    field.width = desc.width;
    field.width_from_structure = true;
    field.label = desc.name.str();
    return field;
  }

  // Part 3 first: a limit label needs the comparison of the target.
  std::string_view target = parts.size() >= 3 ? std::string_view(parts[2]) : std::string_view();
  if (!target.empty() && !IsTargetReference(target)) field.status = Status::kVarNameError;

  FieldDesc desc;
  if (LooksLikeReference(parts[0]) && FieldReferenceQuiet(Slice::Of(parts[0]), &desc).ok()) {
    ReadLabelPlacement(&field, LimitLabel(desc, target.empty() ? parts[0] : target, position));
  } else {
    Slice label = EvaluateToText(Slice::Of(parts[0]));
    if (!label.ok()) {
      if (field.status.ok()) field.status = label.status();
    } else {
      ReadLabelPlacement(&field, label.str());
    }
  }

  Slice type_text = EvaluateToText(Slice::Of(parts[1]));
  std::string type_spec = type_text.ok() ? std::string(TrimView(type_text.view())) : std::string();
  // An unquoted type such as D10 reads as a variable; take it as written.
  if (!IsTypeSpec(type_spec) && IsTypeSpec(parts[1])) type_spec = parts[1];
  if (!IsTypeSpec(type_spec)) {
    if (field.status.ok()) {
      field.status = type_text.ok() ? Status(Status::kBadInputData) : type_text.status();
    }
    return field;
  }
  field.type = type_spec[0];
  field.width = Integer(Slice::Of(std::string_view(type_spec).substr(1)));
  if (field.width <= 0 && field.status.ok()) field.status = Status::kBadInputData;
  return field;
}

}  // namespace

void ReadFieldList(Slice fields, ScreenSource* source, int load_mode) {
  source->inline_list = true;
  if (TrimView(fields.view()).empty()) return;
  std::vector<std::string> items = SplitOutside(fields.view(), ',');
  int position = 0;
  for (std::string& item : items) {
    source->fields.push_back(ReadInlineField(std::move(item), ++position, load_mode));
  }
}

std::string InlineScreenName(const std::vector<FieldSource>& fields) {
  if (fields.empty()) return std::string();
  size_t k = std::max<size_t>(1, 8 / fields.size());
  std::string name;
  for (const FieldSource& f : fields) {
    if (name.size() >= 8) break;
    name += f.label.substr(0, k);
  }
  return name.substr(0, 8);
}

}  // namespace tessaly::screens
