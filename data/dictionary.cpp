#include "data/dictionary.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/string_area.h"
#include "core/text.h"
#include "data/definition_file_internal.h"
#include "data/streams.h"
#include "data/structures.h"

namespace tessaly {
namespace {

constexpr const char* kDictionaryNames[] = {"DICC.DAT", "REL.DAT", "RELUP.DAT", "RELUPSQL.DAT",
                                            "MENU.PPN"};
static_assert(sizeof kDictionaryNames / sizeof kDictionaryNames[0] == 5);

// Includes nest at most this deep; a longer chain is a cycle in practice, and
// 29 files could not hold it anyway.
constexpr size_t kMaxIncludeDepth = 8;

std::string_view TrimView(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

Slice ViewSlice(std::string_view v) { return Slice(v.data(), static_cast<uint16_t>(v.size())); }

int Digits(std::string_view v) {
  if (v.empty()) return -1;
  int n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// A width written in fixed columns: leading blanks, then digits.
int ColumnNumber(std::string_view v) {
  size_t i = v.find_first_not_of(' ');
  if (i == std::string_view::npos) return -1;
  return Digits(v.substr(i));
}

// Where the checks made after a file is read point back to.
struct LineRef {
  int file;
  int key;  // 0: the file line itself
  std::string path;
  int line_number;
  std::string text;
};

struct Loader {
  Slice default_folder;
  Slice folder_list;
  std::vector<std::string> chain;  // codes being loaded, outermost first

  Status Load(std::string_view code);
  Status ReadFile(const std::string& path, int first_file, std::vector<LineRef>* refs);
  Status Line(std::string_view line, const internal::DefinitionFile& file, int first_file,
              std::vector<LineRef>* refs);
};

Status Loader::Line(std::string_view line, const internal::DefinitionFile& file, int first_file,
                    std::vector<LineRef>* refs) {
  auto malformed = [&](Status code = Status::kBadInputData) {
    return internal::LineError(code, file.path(), file.line_number(), ViewSlice(line));
  };
  int nn = line.size() >= 2 ? Digits(line.substr(0, 2)) : -1;
  if (nn < 1 || nn > 90) return malformed();
  int kind = (nn - 1) / 30;
  int index = (nn - 1) % 30 + 1;
  Slice text = ViewSlice(line);

  if (kind == 1) {  // key line
    int target = first_file + index - 1;
    Status st = StructDefineKey(target, text);
    if (!st.ok()) return malformed(st);
    refs->push_back(
        LineRef{target, KeyCount(target), file.path(), file.line_number(), std::string(line)});
    return Status::kOk;
  }
  if (kind == 2) {  // relation line
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return malformed();
    Status st = StructAddRelation(first_file + index - 1, ViewSlice(line.substr(colon + 1)));
    return st.ok() ? st : malformed(st);
  }

  if (line.find('*') != std::string_view::npos) {
    std::string_view folder = TrimView(Item(text, '*', 2).view());
    std::string_view item3 = TrimView(Item(text, '*', 3).view());
    int attribute = item3.size() >= 2 ? Digits(item3.substr(0, 2)) : -1;
    std::string_view rest = item3.size() >= 2 ? TrimView(item3.substr(2)) : std::string_view();
    if (attribute < 0 || rest.empty()) return malformed();
    if (folder.find('$') != std::string_view::npos) {  // include line
      if (rest.size() < 2) return malformed();
      std::string code(rest.substr(0, 2));
      bool cycle = std::find(chain.begin(), chain.end(), code) != chain.end();
      if (cycle || chain.size() >= kMaxIncludeDepth) return malformed();
      Status st = Load(code);
      // The included dictionary's own failure carries its own file and line.
      return st;
    }
    Slice where = folder.empty() ? default_folder : ViewSlice(folder);
    Status st = StructDefineFile(attribute, ViewSlice(rest), where);
    if (!st.ok()) return malformed(st);
    refs->push_back(LineRef{FileCount(), 0, file.path(), file.line_number(), std::string(line)});
    return Status::kOk;
  }

  // Field line: the last file must be one of this dictionary's.
  if (line.size() < 15 || FileCount() < first_file) return malformed();
  int width = ColumnNumber(line.substr(9, 3));
  char type = line[13];
  std::string_view name = TrimView(line.substr(14));
  if (width < 1 || !IsFieldType(type) || name.empty()) return malformed();
  Status st = StructDefineField(ViewSlice(name), width, type);
  return st.ok() ? st : malformed(st);
}

Status Loader::ReadFile(const std::string& path, int first_file, std::vector<LineRef>* refs) {
  internal::DefinitionFile file;
  if (!file.Open(Slice::Of(path))) {
    return SetDetail(Status::kFileNotFound, Slice::Of(path));
  }
  Slice line;
  for (;;) {
    auto result = file.Next(&line);
    if (result == internal::DefinitionFile::kEnd) return Status::kOk;
    if (result == internal::DefinitionFile::kTooLong) {
      return internal::LineError(Status::kStringTooLong, path, file.line_number(), Slice());
    }
    std::string_view v = TrimView(line.view());
    if (v.empty()) continue;
    AreaMark area;
    Status st = Line(v, file, first_file, refs);
    if (!st.ok()) return st;
  }
}

Status Loader::Load(std::string_view code) {
  AreaMark area;
  Slice code_slice = ViewSlice(code);
  chain.emplace_back(code.substr(0, 2));
  int first_file = FileCount() + 1;

  Slice dicc = DictionaryFileName(code_slice, kDictionaryFields);
  Slice path = FindInFolders(folder_list, dicc);
  if (path.empty()) {
    std::string detail = dicc.str() + " [" + folder_list.str() + "]";
    (void)SetDetail(Status::kFileNotFound, Slice::Of(detail));
    return RecordError(1, ErrorArea::kStructFuncs, Status::kFileNotFound);
  }
  std::vector<LineRef> refs;
  std::string dicc_path = path.str();
  Status st = ReadFile(dicc_path, first_file, &refs);
  if (!st.ok()) return st;
  StructDefaultKeys(FileCount());

  Slice rel = FindInFolders(folder_list, DictionaryFileName(code_slice, kDictionaryRelations));
  if (!rel.empty()) {
    std::string rel_path = rel.str();
    st = ReadFile(rel_path, first_file, &refs);
    if (!st.ok()) return st;
  }

  // Checks that need the whole dictionary: every file has fields, every key
  // ends inside one.
  for (const LineRef& ref : refs) {
    if (ref.key == 0 && FieldCount(ref.file) == 0) {
      return internal::LineError(Status::kBadInputData, ref.path, ref.line_number,
                                 Slice::Of(ref.text));
    }
    KeyLayout layout;
    if (ref.key > 0 && !KeySegments(ref.file, ref.key, &layout).ok()) {
      return internal::LineError(Status::kInternalError, ref.path, ref.line_number,
                                 Slice::Of(ref.text));
    }
  }
  chain.pop_back();
  return Status::kOk;
}

}  // namespace

Slice DictionaryFileName(Slice code, int which) {
  if (!code.ok()) return code;
  if (which < 1 || which > 5) return Slice();
  return Concat(Substring(code, 0, 2), Slice(kDictionaryNames[which - 1]));
}

Slice FindInFolders(Slice folder_list, Slice name) {
  if (!name.ok()) return name;
  if (name.empty()) return Slice();
  AreaMark area;
  if (FileExists(name) == 0) return area.Keep(name);
  for (Slice folder : Split(folder_list, ',')) {
    Slice dir = Trim(folder);
    if (dir.empty()) continue;
    Slice path = PathJoin(dir, name);
    if (path.ok() && FileExists(path) == 0) return area.Keep(path);
  }
  return area.Keep(Slice());
}

Status DictionaryLoad(Slice code, Slice default_folder, Slice folder_list) {
  if (!code.ok()) return code.status();
  if (!default_folder.ok()) return default_folder.status();
  if (!folder_list.ok()) return folder_list.status();
  if (code.size() < 2) return SetDetail(Status::kLoadStrError, code);
  StructSavePoint before = StructSave();
  Loader loader{default_folder, folder_list, {}};
  Status st = loader.Load(code.view().substr(0, 2));
  if (!st.ok()) StructRollback(before);
  return st;
}

}  // namespace tessaly
