// What the files of the screen model share: the sources of a screen before
// compiling, the compiler, the definition table and small helpers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/slice.h"
#include "core/status.h"
#include "ui/screen.h"

namespace tessaly::screens {

// A field as its source describes it, before compiling.
struct FieldSource {
  Status status;             // nonzero: the field could not be read
  bool placed = false;       // a layout line fixed row and column
  int row = 0;
  int column = 0;
  int file = 0;              // a layout line's or a one-part field's binding
  int file_field = 0;
  int width = 0;             // as written (a type V: the variable number)
  char type = 'A';
  bool width_from_structure = false;  // a one-part field: widths are the structure's
  std::string label;         // inline: the label proper
  int label_row = 0;         // inline: braces placement
  int label_column = 0;
  int row_override = 0;      // inline: /ROW and /COL
  int column_override = 0;
  std::string spec;
};

// A screen as read from its sources.
struct ScreenSource {
  std::string name;
  bool inline_list = false;
  int list_flags = 0;
  std::vector<FieldSource> fields;
  std::vector<ScreenLabel> labels;
  bool has_title = false;
  std::string title_text;
};

// The status of a field or file field that does not exist under the load
// mode: 124 with load mode bit 2, else 168.
inline Status MissingStatus(int load_mode) {
  return (load_mode & kLoadMissingWarns) != 0 ? Status::kUndefWarning : Status::kDataOutBound;
}

// ---- Sources (screen_source.cpp) -------------------------------------------------------

// Adds what one layout line (its content) holds: a field, a label or the
// title. A field line that cannot be read becomes an unusable field.
void ReadLayoutLine(Slice content, ScreenSource* source, int load_mode);
// Reads the fields of an inline list (the part before " /"), each FIELD
// split outside quotes and brackets. Labels and types are evaluated.
void ReadFieldList(Slice fields, ScreenSource* source, int load_mode);
// The inline spec with its ';' read as ':' where the text holds one '/' and
// several ';'; split into the field part and the options part.
void SplitFieldList(Slice spec, std::string* fields, std::string* options);
// The name of an inline screen from its labels.
std::string InlineScreenName(const std::vector<FieldSource>& fields);

// ---- Compiling (screen_compile.cpp) -------------------------------------------------------

// Compiles `source` with the screen's options pushed on the parameter stack
// (the stack's top is replaced by the set with the generated FD$ entry) and
// adds the definition to the table. *definition takes its number.
Status Compile(ScreenSource& source, int main_file, int load_mode, int* definition);

// Storage and display widths of a type and a width as written.
int StorageWidth(char type, int width);
int DisplayWidth(char type, int width);

// ---- The table (screen_table.cpp) ------------------------------------------------------------

int AddDefinition(std::unique_ptr<ScreenDefinition> definition);
ScreenDefinition* MutableDefinition(int number);
// The value of an option in a definition's own parameter set.
Slice DefinitionOption(const ScreenDefinition& definition, int keyword, int item = 0);

// ---- Values (screen_values.cpp) --------------------------------------------------------------

// The display form of a stored text for the field's control.
Slice DisplayText(const ScreenField& field, Slice stored);
// Evaluates a field's condition item (ALARM$) after bracket expansion: 1
// holds, 0 fails, or a status of 122 and more.
Status FieldCondition(const std::string& item);
// The fields a name list (',' or ';' separated) names, in order.
void AppendNamedFields(const ScreenDefinition& definition, Slice names, std::vector<int>* out);

// ---- Geometry (screen_geometry.cpp) ------------------------------------------------------------

// No override, no margins and no spacing in the base.
void ResetGeometryAll();

// ---- Helpers -----------------------------------------------------------------------------------

inline std::string_view TrimView(std::string_view s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string_view::npos) return {};
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// Splits at `sep` outside quotes (' or ") and outside (), [] and {}.
std::vector<std::string> SplitOutside(std::string_view text, char sep);
// The first position of `pattern` outside quotes; npos when none.
size_t FindOutsideQuotes(std::string_view text, std::string_view pattern);

}  // namespace tessaly::screens
