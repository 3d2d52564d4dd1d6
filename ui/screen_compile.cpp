// Compiling screen sources into screen definitions: generated variable
// names, the screen's options located per field, file bindings, the edit
// order, the flags, the inline layout and the buffer offsets.

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/flags.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/datafile.h"
#include "data/masks.h"
#include "data/parameters.h"
#include "data/structures.h"
#include "expr/variables.h"
#include "ui/screen_internal.h"

namespace tessaly::screens {

namespace {

constexpr int kStringListTable = 7;
// _COMPAT bits: a digit type takes room for its point and sign; a type V
// keeps its own type and width.
constexpr uint16_t kCompatWideNumbers = 64;
constexpr uint16_t kCompatPlainV = 1024;
// A definition reserves at most this many button attribute pairs.
constexpr int kMaxAttributeSlots = 4096;

bool IsDigitType(char type) { return type >= '1' && type <= '9'; }
bool IsTextKind(char type) { return std::string_view("ABCDFP").find(type) != std::string_view::npos; }

std::string Text(Slice s) { return s.ok() ? s.str() : std::string(); }

std::string OptionItem(int keyword, int item) {
  AreaMark mark;
  return std::string(TrimView(Text(ParameterValue(keyword, item))));
}

std::string Option(int keyword) {
  AreaMark mark;
  return std::string(TrimView(Text(ParameterValue(keyword))));
}

int OptionNumber(int keyword) {
  AreaMark mark;
  return Integer(ParameterValue(keyword));
}

// Whether `name` is an item of the comma list (items compared trimmed).
int PositionInList(std::string_view list, std::string_view name) {
  if (name.empty()) return 0;
  int position = 0;
  for (const std::string& item : SplitOutside(list, ',')) {
    ++position;
    if (TrimView(item) == name) return position;
  }
  return 0;
}

// A file named by number or by name; 0 when none.
int ResolveFileItem(std::string_view item) {
  item = TrimView(item);
  if (item.empty()) return 0;
  AreaMark mark;
  bool digits = std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
  int file = digits ? Integer(Slice::Of(item)) : FileByName(Slice::Of(item));
  return file >= 1 && file <= FileCount() ? file : 0;
}

// OPEN$: the named data files that are not open yet are opened (FILE or
// FILE;MODE items; without a mode all but the last read-only, the last for
// update and current). Files already open are left as they are, so that
// loading a screen never disturbs the files of the windows below it.
Status OpenNamedFiles(std::string_view list) {
  std::vector<std::string> items = SplitOutside(list, ',');
  int last = -1;
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    if (!TrimView(items[static_cast<size_t>(i)]).empty()) last = i;
  }
  for (int i = 0; i <= last; ++i) {
    std::string_view item = items[static_cast<size_t>(i)];
    size_t semi = item.find(';');
    std::string_view name = TrimView(item.substr(0, semi));
    if (name.empty()) continue;
    int file = ResolveFileItem(name);
    if (file == 0) return SetDetail(Status::kFileOpening, Slice::Of(name));
    if (DataFileIsOpen(file)) continue;
    int flags;
    if (semi != std::string_view::npos && !TrimView(item.substr(semi + 1)).empty()) {
      AreaMark mark;
      flags = Integer(Slice::Of(TrimView(item.substr(semi + 1)))) & 0xFF;
    } else {
      flags = i == last ? 0 : kDataReadOnly;
    }
    if (i == last) flags |= kDataMakeCurrent;
    Status s = DataFileOpen(file, flags);
    if (s.failed()) return s;
  }
  return Status::kOk;
}

// A type V takes its type and width from the screen-field variable its width
// names ("_V<n>$"), unless _COMPAT says otherwise.
void ResolveVariableType(FieldSource* field) {
  if (field->type != 'V' || !field->status.ok() || TestBits(kCompat, kCompatPlainV)) return;
  char letter = 0;
  int number = 0;
  Status s = ReadPair(field->width, &letter, &number);
  if (!s.ok()) {
    field->status = s;
  } else if (!IsFieldType(letter) || number <= 0) {
    field->status = Status::kVariableScreenField;
  } else {
    field->type = letter;
    field->width = number;
  }
}

// The name generated for a field without an FD$ item.
std::string GeneratedName(int number, char type) {
  return "_SCRF" + std::to_string(number) + (IsTextKind(type) ? "$" : "#");
}

// Makes the FD$ list complete and puts it in front of the set in use.
Status CompleteNames(const ScreenSource& source, int fd_count) {
  int n = static_cast<int>(source.fields.size());
  if (fd_count >= n) return Status::kOk;
  std::string list;
  for (int i = 1; i <= n; ++i) {
    std::string item = OptionItem(kKwFd, i);
    if (item.empty()) item = GeneratedName(i, source.fields[static_cast<size_t>(i - 1)].type);
    if (i > 1) list += ',';
    list += item;
  }
  std::string set = "FD$=\"" + list + "\":" + Text(ParameterSet());
  if (set.size() > kMaxTextLength) return Status::kStringTooLong;
  Status s = ParameterSetPop();
  if (!s.ok()) return s;
  return ParameterSetPush(Slice::Of(set));
}

// The perform item of field `name`: its PERFORM$ item, or, when the screen
// has no PERFORM$ at all, the option named after the field ("_SUM#$").
std::string PerformItem(int number, const std::string& name, bool has_perform) {
  if (has_perform) return OptionItem(kKwPerform, number);
  if (name.empty()) return std::string();
  std::string keyword = name + "$";
  AreaMark mark;
  if (!ParameterPresent(Slice::Of(keyword))) return std::string();
  return std::string(TrimView(Text(ParameterValueByName(Slice::Of(keyword)))));
}

bool ListItemOn(std::string_view item) { return !item.empty() && item != "0"; }

}  // namespace

int StorageWidth(char type, int width) {
  if (type == 'D') return std::min(width, 8);
  if (IsDigitType(type) && TestBits(kCompat, kCompatWideNumbers)) return width + (type - '0') + 1;
  return width;
}

int DisplayWidth(char type, int width) {
  if (IsDigitType(type) && TestBits(kCompat, kCompatWideNumbers)) return width + (type - '0') + 1;
  return width;
}

Status Compile(ScreenSource& source, int caller_main_file, int load_mode, int* definition) {
  AreaMark mark;
  auto def = std::make_unique<ScreenDefinition>();
  def->load_mode = load_mode;
  def->name = source.name;
  def->labels = source.labels;
  def->has_title = source.has_title;
  def->title_text = source.title_text;

  // A layout without field lines has the fields its FD$ list names.
  int fd_count;
  {
    AreaMark inner;
    fd_count = CountItems(ParameterValue(kKwFd), ',');
  }
  if (source.fields.empty() && fd_count > 0) source.fields.resize(static_cast<size_t>(fd_count));
  for (FieldSource& f : source.fields) ResolveVariableType(&f);
  const int n = static_cast<int>(source.fields.size());

  Status s = CompleteNames(source, fd_count);
  if (!s.ok()) return s;

  std::string open = Option(kKwOpen);
  if (!open.empty()) {
    s = OpenNamedFiles(open);
    if (!s.ok()) return s;
  }

  def->first_field = std::max(0, OptionNumber(kKwBeginFld) - 1);
  def->list_count = strtab::Count(kStringListTable);
  def->main_file = caller_main_file != 0 ? caller_main_file
                                         : ResolveFileItem(OptionItem(kKwFileDef, n + 1));
  def->index_flag = (OptionNumber(kKwUnicNdx) != 0 || OptionNumber(kKwAutoNdx) != 0) ? 2 : 0;
  def->key_map = OptionNumber(kKwKeyMap);
  SetWord(kKeyMap, static_cast<uint16_t>(def->key_map));
  int slots = std::clamp(OptionNumber(kKwMaxIdsAttr), 0, kMaxAttributeSlots);
  def->attributes.assign(static_cast<size_t>(slots), {0, 0});

  const std::string hidden = Option(kKwHidden);
  const std::string noedit = Option(kKwNoEdit);
  const std::string edit = Option(kKwEdit);
  bool has_perform;
  {
    AreaMark inner;
    has_perform = ParameterPresent("PERFORM$");
  }
  const ScreenGeometry geometry = ScreenGeometryInForce();
  const bool grid = source.inline_list && (source.list_flags & kListGridRow) != 0;

  // The label column of an inline list: the longest label, at least 1.
  int label_column = 1;
  if (source.inline_list) {
    for (const FieldSource& f : source.fields) {
      label_column = std::max(label_column, static_cast<int>(f.label.size()));
    }
  }

  int offset = 0;
  int previous_end = 0;  // grid rows: the cell after the previous field
  def->fields.resize(static_cast<size_t>(n));
  for (int i = 1; i <= n; ++i) {
    const FieldSource& src = source.fields[static_cast<size_t>(i - 1)];
    ScreenField& f = def->fields[static_cast<size_t>(i - 1)];
    f.status = src.status;
    f.name = OptionItem(kKwFd, i);
    f.alarm = OptionItem(kKwAlarm, i);
    f.assign = OptionItem(kKwAssign, i);
    f.perform = PerformItem(i, f.name, has_perform);
    f.update_list = OptionItem(kKwUpdFields, i);
    f.window = OptionItem(kKwWindows, i);
    f.label = src.label;
    f.label_row = src.label_row;
    f.label_column = src.label_column;
    f.spec = src.spec;
    f.type = src.type;
    std::string types_item = OptionItem(kKwTypes, i);
    if (ListItemOn(types_item) && IsFieldType(types_item[0])) f.type = types_item[0];
    f.storage_width = src.width_from_structure ? src.width : StorageWidth(f.type, src.width);
    f.display_width = src.width_from_structure ? src.width : DisplayWidth(f.type, src.width);
    f.file = src.file;
    f.file_field = src.file_field;

    // File binding: a field reference as FD$ item, else by name in the
    // main file when the load mode asks for it.
    if (f.status.ok() && f.name.find('{') != std::string::npos) {
      FieldDesc desc;
      AreaMark inner;
      if (FieldReferenceQuiet(Slice::Of(f.name), &desc).ok()) {
        f.file = desc.file;
        f.file_field = desc.number;
        if (src.width == 0) {
          // Named only in FD$: the structure says what it holds.
          f.type = desc.type;
          f.storage_width = f.display_width = desc.width;
        }
      } else {
        f.status = MissingStatus(load_mode);
      }
    } else if (f.status.ok() && (load_mode & kLoadBindByName) != 0 && def->main_file != 0 &&
               f.file == 0 && !f.name.empty()) {
      AreaMark inner;
      int number = FieldByName(def->main_file, Slice::Of(f.name));
      FieldDesc desc;
      if (number > 0 && FieldInfo(def->main_file, number, &desc).ok()) {
        f.file = def->main_file;
        f.file_field = number;
        f.type = 'A';
        f.storage_width = f.display_width = desc.width;
      }
    }
    if (src.width == 0 && f.file == 0 && f.status.ok()) {
      // A field known only by its FD$ name holds what WIDTHS$ allows.
      AreaMark inner;
      int w = Integer(ParameterValue(kKwWidths, i));
      f.storage_width = StorageWidth(f.type, std::max(w, 0));
      f.display_width = DisplayWidth(f.type, std::max(w, 0));
    }

    // Edit order.
    f.hidden = PositionInList(hidden, f.name) > 0;
    if (f.hidden) {
      f.edit_order = kHiddenEditOrder;
    } else {
      bool locked = PositionInList(noedit, f.name) > 0 ||
                    (f.file != 0 && f.file != def->main_file);
      if (locked && i != def->first_field) {
        f.edit_order = 0;
      } else {
        int position = PositionInList(edit, f.name);
        f.edit_order = position > 0 ? position : i;
      }
    }

    // Flags.
    std::string clear = OptionItem(kKwClear, i);
    if (clear.empty() || clear == "0") f.flags |= kFieldClear;
    if (f.file != 0) f.flags |= kFieldFile;
    if (!f.assign.empty()) f.flags |= kFieldComputed;
    if (f.file != 0 && f.file == def->main_file) f.flags |= kFieldMainFile;
    if (!f.perform.empty()) f.flags |= kFieldPerform;
    if (!f.update_list.empty()) f.flags |= kFieldUpdateList;
    if (!f.window.empty()) f.flags |= kFieldWindow;
    if (f.edit_order != 0 && !f.hidden) f.flags |= kFieldEditable;
    if (!f.alarm.empty()) f.flags |= kFieldAlarm;

    int shown;
    {
      AreaMark inner;
      int w = Integer(ParameterValue(kKwWidths, i));
      shown = w > 0 ? w : f.display_width;
    }

    // Position.
    if (src.placed) {
      f.row = src.row;
      f.column = src.column;
    } else if (grid) {
      f.row = i;
      f.column = i == 1 ? 1 : previous_end + 1;
    } else if (source.inline_list) {
      f.row = i;
      f.column = label_column;
      if (src.label_row != 0 || src.label_column != 0) {
        f.row = src.label_row;
        f.column = src.label_column + static_cast<int>(src.label.size());
      }
    }
    if (src.row_override != 0) f.row = src.row_override;
    if (src.column_override != 0) f.column = src.column_override;

    int room = geometry.columns - geometry.left - f.column;
    f.shown_width = std::max(0, std::min(shown, room));
    previous_end = f.column + f.shown_width;

    f.offset = offset;
    offset += std::max(f.storage_width, 0);
  }
  if (offset > kMaxTextLength) return Status::kStringTooLong;
  def->data_length = offset;

  if (grid) {
    def->bounds_first = n > 0 ? 1 : 0;
    def->bounds_last = n;
  } else if (n > 0) {
    std::string fd = Option(kKwFd);
    int first = PositionInList(fd, OptionItem(kKwBounds, 1));
    int last = PositionInList(fd, OptionItem(kKwBounds, 2));
    if (first != 0 && last != 0) {
      def->bounds_first = std::min(first, last);
      def->bounds_last = std::max(first, last);
    }
  }

  def->set = Option(kKwSet);
  def->ik1 = OptionItem(kKwIk1, 1);
  def->relopt = Option(kKwRelOpt);
  def->parameters = Text(ParameterSet());

  *definition = AddDefinition(std::move(def));
  return Status::kOk;
}

}  // namespace tessaly::screens
