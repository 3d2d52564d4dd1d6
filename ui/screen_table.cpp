// The table of screen definitions and the stack of open screen instances
// (runtime array 4), loading screens from their files, and the screen's
// options.
//
// An instance's memory is one block of the Screens area:
//
//   0              L             2L             2L+R           2L+2R
//   +--------------+--------------+--------------+--------------+
//   | screen buffer| saved buffer | record copy 1| record copy 2|
//   +--------------+--------------+--------------+--------------+
//   L = data length of the definition, R = record length of its main file
//   (both may be 0; the block holds at least one byte).

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/environment_table.h"
#include "core/flags.h"
#include "core/folders.h"
#include "core/memory_blocks.h"
#include "core/runtime_arrays.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/dates.h"
#include "data/definitions.h"
#include "data/parameters.h"
#include "data/structures.h"
#include "ui/screen_internal.h"

namespace tessaly {

namespace {

// Instances are copied in and out of runtime array 4 byte by byte.
static_assert(std::is_trivially_copyable_v<ScreenInstance>);

constexpr int kExtraTextTable = 34;
// _SCRSTAT: the load mode bits the caller sets, and the bits a load clears
// before it starts.
constexpr uint16_t kLoadModeBits = 0x07;
constexpr uint16_t kLoadClearedBefore = 0xF8;
// The maker's address at the end of a layout's title.
constexpr char kMakerAddress[] = "www.tessaly.org";

struct Table {
  std::vector<std::unique_ptr<ScreenDefinition>> definitions;
  std::vector<uint64_t> load_order;  // per slot: when it was loaded
  uint64_t loads = 0;
  int current_instance = -1;
  int current_definition = -1;
};
Table g;

ScreenInstance* InstanceRecord(int n) {
  if (n < 0 || n >= rtarray::Count(rtarray::kScreens)) return nullptr;
  return static_cast<ScreenInstance*>(rtarray::Get(rtarray::kScreens, n));
}

void FreeDefinition(int number) {
  if (number < 0 || number >= static_cast<int>(g.definitions.size())) return;
  g.definitions[static_cast<size_t>(number)].reset();
  if (g.current_definition == number) g.current_definition = -1;
}

int FindDefinitionByName(const std::string& name) {
  int found = -1;
  uint64_t latest = 0;
  for (size_t i = 0; i < g.definitions.size(); ++i) {
    const auto& d = g.definitions[i];
    if (d && d->name == name && (found < 0 || g.load_order[i] > latest)) {
      found = static_cast<int>(i);
      latest = g.load_order[i];
    }
  }
  return found;
}

// The main file's buffers go aside when another instance becomes current.
void TakeRecordCopies(ScreenInstance* inst) {
  if ((inst->state & kStateCallbacksOff) != 0 || inst->file == 0) return;
  RecordBuffers b = FileRecordBuffers(inst->file);
  uint16_t n = std::min(b.length, inst->record_length);
  if (b.current == nullptr || n == 0) return;
  std::memcpy(inst->record_copies, b.current, n);
  std::memcpy(inst->record_copies + inst->record_length, b.saved, n);
  inst->copies_taken = true;
}

void PutRecordCopiesBack(ScreenInstance* inst) {
  if (!inst->copies_taken) return;
  inst->copies_taken = false;
  if ((inst->state & kStateCallbacksOff) != 0 || inst->file == 0) return;
  RecordBuffers b = FileRecordBuffers(inst->file);
  uint16_t n = std::min(b.length, inst->record_length);
  if (b.current == nullptr || n == 0) return;
  std::memcpy(b.current, inst->record_copies, n);
  std::memcpy(b.saved, inst->record_copies + inst->record_length, n);
}

// Makes instance n current without touching the one that was.
void EnterInstance(int n) {
  ScreenInstance* inst = InstanceRecord(n);
  if (inst == nullptr) {
    g.current_instance = -1;
    g.current_definition = -1;
    return;
  }
  g.current_instance = n;
  g.current_definition = inst->definition;
  if (const ScreenDefinition* def = ScreenDefinitionAt(inst->definition)) {
    SetWord(kKeyMap, static_cast<uint16_t>(def->key_map));
  }
  PutRecordCopiesBack(inst);
}

// Pops the parameter set it pushed on every return path.
class PushedSet {
 public:
  PushedSet() = default;
  PushedSet(const PushedSet&) = delete;
  PushedSet& operator=(const PushedSet&) = delete;
  ~PushedSet() {
    if (pushed_) (void)ParameterSetPop();
  }
  Status Push(Slice set) {
    Status s = ParameterSetPush(set);
    pushed_ = s.ok();
    return s;
  }
  Status Load(Slice file, int number) {
    Status s = ParameterSetLoad(file, 1, number);
    // A screen without options file has an empty parameter set.
    if (s == Status::kFileNotFound) {
      ClearDetail();
      s = ParameterSetPush(Slice());
    }
    pushed_ = s.ok();
    return s;
  }

 private:
  bool pushed_ = false;
};

// Reads the layout lines of the screen into `source`: -1 when the file
// cannot be opened, else 0 or the negated status of the reader.
int ReadLayout(Slice pan, int number, screens::ScreenSource* source, int load_mode) {
  int count = DefinitionLines(pan, 2, number);
  if (count < 0) return count;
  int first = strtab::Count(strtab::kLineQueue) - count;
  for (int i = 0; i < count; ++i) {
    AreaMark mark;
    screens::ReadLayoutLine(strtab::Get(strtab::kLineQueue, first + i), source, load_mode);
  }
  for (int i = 0; i < count; ++i) {
    (void)strtab::Delete(strtab::kLineQueue, strtab::Count(strtab::kLineQueue) - 1);
  }
  return 0;
}

// " title  |  date  |  database folder |  address  ".
std::string LayoutTitle(const std::string& text) {
  AreaMark mark;
  std::string title = " ";
  title += text.empty() ? GetEnvironment(kEnvDescription).str() : text;
  title += "  |  ";
  Slice today = DateFromNumber(TodayDate());
  if (today.ok()) title += FormatDate(today, 1).str();
  title += "  |  ";
  title += DatabaseParameter(2).str();
  Slice folder = CurrentFolderPath();
  uint16_t cut = FindLast(folder, "\\/", FindKind::kAnyOf);
  title += " ";
  title += (cut == kNotFound ? folder : Substring(folder, cut + 1)).str();
  title += " |  ";
  title += kMakerAddress;
  title += "  ";
  return title;
}

// Draws the layout's labels and title in the instance's window.
Status DrawLayout(const ScreenDefinition& def, WindowId window) {
  if (window == kNoWindow) return Status::kOk;
  WindowLayer& layer = Windows();
  if (def.has_title) {
    std::string title = LayoutTitle(def.title_text);
    Status s = layer.SetWindowTitle(window, Slice::Of(title));
    if (!s.ok()) return s;
  }
  for (const ScreenLabel& label : def.labels) {
    Status s = layer.StaticText(window, label.row, label.column, Slice::Of(label.text));
    if (!s.ok()) return s;
  }
  return Status::kOk;
}

void ApplySizes(const ScreenDefinition& def, Slice caller_size) {
  AreaMark mark;
  ScreenGeometrySet(screens::DefinitionOption(def, kKwScreenSize));
  ScreenGeometrySet(caller_size);
}

}  // namespace

namespace screens {

int AddDefinition(std::unique_ptr<ScreenDefinition> definition) {
  size_t slot = 0;
  while (slot < g.definitions.size() && g.definitions[slot]) ++slot;
  if (slot == g.definitions.size()) {
    g.definitions.emplace_back();
    g.load_order.push_back(0);
  }
  definition->number = static_cast<int>(slot);
  g.definitions[slot] = std::move(definition);
  g.load_order[slot] = ++g.loads;
  return static_cast<int>(slot);
}

ScreenDefinition* MutableDefinition(int number) {
  if (number < 0 || number >= static_cast<int>(g.definitions.size())) return nullptr;
  return g.definitions[static_cast<size_t>(number)].get();
}

Slice DefinitionOption(const ScreenDefinition& definition, int keyword, int item) {
  AreaMark mark;
  Status s = ParameterSetPush(Slice::Of(definition.parameters));
  if (!s.ok()) return Slice::Error(s);
  Slice value = ParameterValue(keyword, item);
  (void)ParameterSetPop();
  if (value.ok() && value.size() >= 2 && StartsAndEndsWithPair(value, '%')) {
    value = ExpandNames(value);
  }
  return mark.Keep(value);
}

}  // namespace screens

// ---- Loading -------------------------------------------------------------------------------

Status ScreenLoad(const ScreenLoadRequest& request) {
  if (!request.file.ok()) return request.file.status();
  AreaMark mark;
  const int load_mode = Word(kScrStat) & kLoadModeBits;
  (void)ClearBits(kScrStat, kLoadClearedBefore);
  struct ClearModeAfter {
    ~ClearModeAfter() { (void)ClearBits(kScrStat, kLoadModeBits); }
  } clear_after;

  std::string name = request.name.ok() && !request.name.empty()
                         ? request.name.str()
                         : request.file.str() + std::to_string(request.number);
  int number = FindDefinitionByName(name);
  if (number >= 0) {
    ApplySizes(*g.definitions[static_cast<size_t>(number)], request.size);
  } else {
    PushedSet options;
    Status s = options.Load(DefinitionFileName(request.file, kDefMenu), request.number);
    if (!s.ok()) return RecordError(1, ErrorArea::kScreens, s);
    {
      AreaMark inner;
      ScreenGeometrySet(ParameterValue(kKwScreenSize));
      ScreenGeometrySet(request.size);
    }
    screens::ScreenSource source;
    source.name = name;
    Slice pan = DefinitionFileName(request.file, kDefScreen);
    int read = ReadLayout(pan, request.number, &source, load_mode);
    if (read == -1 && (load_mode & kLoadMissingWarns) == 0) {
      return RecordError(1, ErrorArea::kScreens, SetDetail(Status::kFileNotFound, pan));
    }
    if (read < -1) return RecordError(1, ErrorArea::kScreens, Status(static_cast<uint16_t>(-read)));
    s = screens::Compile(source, request.main_file, load_mode, &number);
    if (!s.ok()) return RecordError(1, ErrorArea::kScreens, s);
  }

  Status s = ScreenOpenInstance(number);
  if (!s.ok()) return s;
  s = DrawLayout(*g.definitions[static_cast<size_t>(number)], ScreenCurrentInstance()->window);
  if (!s.ok()) {
    (void)ScreenCloseInstance(-1);
    return s;
  }
  // The first field focus takes it (and pops it).
  s = strtab::Push(kExtraTextTable, request.extra.ok() ? request.extra : Slice());
  if (!s.ok()) (void)ScreenCloseInstance(-1);
  return s;
}

Status ScreenOpenFieldList(Slice spec, int flags, int main_file) {
  if (!spec.ok()) return spec.status();
  AreaMark mark;
  const int load_mode = Word(kScrStat) & kLoadModeBits;
  (void)ClearBits(kScrStat, kLoadClearedBefore);
  struct ClearModeAfter {
    ~ClearModeAfter() { (void)ClearBits(kScrStat, kLoadModeBits); }
  } clear_after;

  std::string fields, options;
  screens::SplitFieldList(spec, &fields, &options);
  PushedSet set;
  Status s = set.Push(Slice::Of(options));
  if (!s.ok()) return s;
  screens::ScreenSource source;
  source.list_flags = flags;
  screens::ReadFieldList(Slice::Of(fields), &source, load_mode);
  source.name = screens::InlineScreenName(source.fields);
  int number = -1;
  s = screens::Compile(source, main_file, load_mode, &number);
  if (!s.ok()) return RecordError(1, ErrorArea::kScreens, s);
  s = ScreenOpenInstance(number);
  if (!s.ok()) FreeDefinition(number);
  return s;
}

// ---- Instances ---------------------------------------------------------------------------------

Status ScreenOpenInstance(int definition) {
  ScreenDefinition* def = screens::MutableDefinition(definition);
  if (def == nullptr) return Status::kScreenStructError;
  ScreenInstance inst;
  inst.definition = definition;
  inst.file = def->main_file;
  inst.record_length = inst.file != 0 ? RecordLength(inst.file) : 0;
  size_t length = static_cast<size_t>(def->data_length);
  size_t size = 2 * length + 2 * static_cast<size_t>(inst.record_length);
  char* block = static_cast<char*>(BlockAllocate(ErrorArea::kScreens, std::max<size_t>(size, 1), ' '));
  if (block == nullptr) return RecordError(1, ErrorArea::kScreens, Status(Status::kOutOfMemory));
  inst.buffer = block;
  inst.saved = block + length;
  inst.record_copies = block + 2 * length;
  {
    AreaMark mark;
    int index = Integer(screens::DefinitionOption(*def, kKwIndex));
    inst.index = index > 0 ? index : 1;
  }
  inst.window = Windows().TopWindow();

  int n = rtarray::Count(rtarray::kScreens);
  Status s = rtarray::Store(rtarray::kScreens, n, &inst, sizeof inst);
  if (!s.ok()) {
    (void)BlockFree(ErrorArea::kScreens, block);
    return s;
  }
  ++def->references;
  return ScreenSwitchTo(n);
}

Status ScreenCloseInstance(int instance) {
  int n = instance < 0 ? g.current_instance : instance;
  ScreenInstance* inst = InstanceRecord(n);
  if (inst == nullptr) return Status::kScreenStructError;
  int definition = inst->definition;
  Status freed = BlockFree(ErrorArea::kScreens, inst->buffer);
  (void)rtarray::Delete(rtarray::kScreens, n);

  if (ScreenDefinition* def = screens::MutableDefinition(definition)) {
    if (--def->references <= 0) FreeDefinition(definition);
  }
  int count = rtarray::Count(rtarray::kScreens);
  if (g.current_instance == n) {
    EnterInstance(std::min(n - 1 >= 0 ? n - 1 : 0, count - 1));
  } else if (g.current_instance > n) {
    --g.current_instance;
  }
  ScreenGeometryReset();
  return freed;
}

Status ScreenSwitchTo(int instance) {
  ScreenInstance* target = InstanceRecord(instance);
  if (target == nullptr) return Status::kScreenStructError;
  if (instance != g.current_instance) {
    if (ScreenInstance* leaving = InstanceRecord(g.current_instance)) TakeRecordCopies(leaving);
  }
  EnterInstance(instance);
  return Status::kOk;
}

int ScreenInstanceCount() { return rtarray::Count(rtarray::kScreens); }

int ScreenCurrentNumber() {
  return InstanceRecord(g.current_instance) != nullptr ? g.current_instance : -1;
}

ScreenInstance* ScreenInstanceAt(int instance) { return InstanceRecord(instance); }

ScreenInstance* ScreenCurrentInstance() { return InstanceRecord(g.current_instance); }

const ScreenDefinition* ScreenDefinitionAt(int definition) {
  return screens::MutableDefinition(definition);
}

const ScreenDefinition* ScreenCurrentDefinition() {
  if (ScreenCurrentInstance() == nullptr) return nullptr;
  return screens::MutableDefinition(g.current_definition);
}

int ScreenDefinitionCount() {
  return static_cast<int>(std::count_if(g.definitions.begin(), g.definitions.end(),
                                        [](const auto& d) { return d != nullptr; }));
}

void ScreenResetAll() {
  for (int n = rtarray::Count(rtarray::kScreens) - 1; n >= 0; --n) {
    if (ScreenInstance* inst = InstanceRecord(n)) {
      (void)BlockFree(ErrorArea::kScreens, inst->buffer);
    }
  }
  rtarray::Free(rtarray::kScreens);
  g = Table();
  screens::ResetGeometryAll();
}

Status ScreenTakeSaved() {
  ScreenInstance* inst = ScreenCurrentInstance();
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (inst == nullptr || def == nullptr) return Status::kScreenEnviron;
  std::memcpy(inst->saved, inst->buffer, static_cast<size_t>(def->data_length));
  return Status::kOk;
}

Slice ScreenOption(int keyword, int item) {
  const ScreenDefinition* def = ScreenCurrentDefinition();
  if (def == nullptr) return Slice();
  return screens::DefinitionOption(*def, keyword, item);
}

}  // namespace tessaly
