// Menu definitions to menu lines, menu lines to a menu bar, and the main
// menu window.

#include "menus/menu.h"

#include <string>
#include <vector>

#include "core/flags.h"
#include "core/folders.h"
#include "core/message_box.h"
#include "core/messages.h"
#include "core/process.h"
#include "core/string_area.h"
#include "core/string_tables.h"
#include "core/text.h"
#include "data/definitions.h"
#include "data/parameters.h"

namespace tessaly {
namespace {

constexpr uint16_t kLegacyKeywords = 16;  // `_COMPAT` bit of the Spanish keywords
constexpr int kHelpMenuMessage = 120;
constexpr int kMaxPpnDepth = 8;           // sub-menus of sub-menus; guards loops in LOAD$

std::string Str(Slice s) { return s.ok() ? std::string(s.data(), s.size()) : std::string(); }

bool EndsWithNoCase(const std::string& s, const char* ext) {
  size_t n = std::char_traits<char>::length(ext);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(s[s.size() - n + i])) != ext[i]) return false;
  }
  return true;
}

// ---- PPN conversion ---------------------------------------------------------------

struct PpnConverter {
  std::vector<std::string>* lines;

  void Add(int depth, const std::string& title, const std::string& command) {
    std::string line(static_cast<size_t>(depth), '\t');
    line += title;
    if (!command.empty()) line += "," + command;
    lines->push_back(line);
  }

  // The record's values the converter reads, with the legacy fallbacks.
  struct Record {
    std::string menu, caller, exec, load;
  };

  static Record Read() {
    Record r;
    r.menu = Str(ParameterValue(kKwMenu));
    r.caller = Str(ParameterValue(kKwCaller));
    r.exec = Str(ParameterValue(kKwExec));
    r.load = Str(ParameterValue(kKwLoad));
    if ((Word(kCompat) & kLegacyKeywords) != 0) {
      if (r.caller.empty()) r.caller = Str(ParameterValueByName(Slice("MODULOS$")));
      if (r.menu.empty()) {
        std::string sub = Str(ParameterValueByName(Slice("SUBMENU$")));
        if (!sub.empty()) {
          r.menu = sub;
        } else {
          std::string modulo = Str(ParameterValueByName(Slice("MODULO$")));
          std::string options = Str(ParameterValueByName(Slice("OPTIONS$")));
          r.menu = modulo.empty() ? options : options.empty() ? modulo : modulo + "," + options;
        }
      }
    }
    return r;
  }

  static std::string ItemOf(const std::string& list, int n) {
    AreaMark mark;
    return Str(Trim(Item(Slice::Of(list), ',', n)));
  }
  static int CountOf(const std::string& list) {
    return list.empty() ? 0 : CountItems(Slice::Of(list), ',');
  }

  Status Convert(const std::string& file, int record, int depth, const std::string& title,
                 const std::string& prefix) {
    if (depth > kMaxPpnDepth) {
      return SetDetail(Status::kBadInputData, Slice::Of("menu too deep: " + file));
    }
    Status s = ParameterSetLoad(Slice::Of(file), 1, record);
    if (!s.ok()) return SetDetail(Status::kFileNotFound, Slice::Of(file));
    Record r = Read();
    (void)ParameterSetPop();
    std::string heading = !title.empty() ? title : ItemOf(r.menu, 1);
    if (r.menu.empty() && r.caller.empty()) {
      Add(depth, heading, !prefix.empty() ? prefix : ItemOf(r.exec, 1));
      return Status::kOk;
    }
    Add(depth, heading, "");
    if (r.caller.empty() || CountOf(r.menu) < 2) return Options(r, file, depth + 1, prefix);
    int titles = 2;
    for (int i = 1; i <= CountOf(r.caller); ++i) {
      std::string item = ItemOf(r.caller, i);
      int sub = std::atoi(item.c_str());
      if (sub == 0) continue;
      s = Convert(file, sub, depth + 1, ItemOf(r.menu, titles++), "");
      if (!s.ok()) return s;
    }
    return Status::kOk;
  }

  Status Options(const Record& r, const std::string& file, int depth, const std::string& prefix) {
    std::string p;
    int base = 0;
    if (!prefix.empty()) {
      p = ItemOf(prefix, 1) + " " + ItemOf(prefix, 2);
      base = std::atoi(ItemOf(prefix, 3).c_str());
    }
    int first = p.empty() ? 2 : 1;
    int count = CountOf(r.menu);
    for (int item = first, i = 1; item <= count; ++item, ++i) {
      std::string option_title = ItemOf(r.menu, item);
      std::string command = ItemOf(r.exec, i);
      if (command.empty()) {
        command = p.empty() ? std::to_string(base + i) : p + "," + std::to_string(base + i);
      }
      std::string load = ItemOf(r.load, i);
      if (!load.empty()) {
        // 'file,record' (quoted, being an item of a comma list): a sub-menu
        // read from a record of that file.
        AreaMark mark;
        Slice l = Unquote(Slice::Of(load));
        std::string sub_file = Str(Trim(Item(l, ',', 1)));
        std::string sub_record = Str(Trim(Item(l, ',', 2)));
        if (sub_file.empty()) sub_file = file;
        Status s = Convert(sub_file, std::atoi(sub_record.c_str()), depth, option_title, command);
        if (!s.ok()) return s;
        continue;
      }
      Add(depth, option_title, command);
    }
    return Status::kOk;
  }
};

// ---- Building ------------------------------------------------------------------------

struct MenuLine {
  int depth = 0;
  std::string title;
  std::string command;
  bool is_command = false;
};

MenuLine ParseLine(const std::string& raw) {
  MenuLine line;
  std::string text = raw;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.pop_back();
  }
  size_t tabs = 0;
  while (tabs < text.size() && text[tabs] == '\t') ++tabs;
  line.depth = static_cast<int>(tabs);
  AreaMark mark;
  Slice item_text = Slice::Of(std::string_view(text).substr(tabs));
  line.title = Str(Unquote(Trim(Item(item_text, ',', 1))));
  if (CountItems(item_text, ',') > 1) {
    line.is_command = true;
    line.command = Str(Trim(Rest(item_text, ',')));
  }
  return line;
}

}  // namespace

Status MenuLinesFromPmt(Slice path, std::vector<std::string>* lines) {
  int before = strtab::Count(strtab::kLineQueue);
  int count = DefinitionLines(path, 0, 0);
  if (count < 0) {
    return count == -1 ? SetDetail(Status::kFileNotFound, path) : Status(static_cast<uint16_t>(-count));
  }
  int first = strtab::Count(strtab::kLineQueue) - count;
  for (int i = 0; i < count; ++i) lines->push_back(Str(strtab::Get(strtab::kLineQueue, first + i)));
  while (strtab::Count(strtab::kLineQueue) > before) {
    (void)strtab::Delete(strtab::kLineQueue, strtab::Count(strtab::kLineQueue) - 1);
  }
  return Status::kOk;
}

Status MenuLinesFromPpn(Slice path, std::vector<std::string>* lines) {
  uint16_t compat = Word(kCompat);
  SetWord(kCompat, static_cast<uint16_t>(compat | kLegacyKeywords));
  PpnConverter converter{lines};
  std::string file = Str(path);
  Status s = ParameterSetLoad(path, 1, 1);
  if (!s.ok()) {
    SetWord(kCompat, compat);
    return SetDetail(Status::kFileNotFound, path);
  }
  PpnConverter::Record top = PpnConverter::Read();
  (void)ParameterSetPop();
  for (int i = 1; i <= PpnConverter::CountOf(top.caller); ++i) {
    int record = std::atoi(PpnConverter::ItemOf(top.caller, i).c_str());
    if (record == 0) continue;
    s = converter.Convert(file, record, 0, "", "");
    if (!s.ok()) break;
  }
  SetWord(kCompat, compat);
  return s;
}

Status MenuLinesOf(Slice name, std::vector<std::string>* lines) {
  AreaMark mark;
  std::string n = Str(Trim(Item(name, ',', 1)));
  if (EndsWithNoCase(n, ".PMT")) return mark.Release(MenuLinesFromPmt(Slice::Of(n), lines));
  if (EndsWithNoCase(n, ".PPN")) return mark.Release(MenuLinesFromPpn(Slice::Of(n), lines));
  Slice folders = Folder(kFolderDefault);
  Slice pmt = FindFile(folders, Concat(Slice::Of(n), Slice(".PMT")));
  if (pmt.ok() && !pmt.empty()) return mark.Release(MenuLinesFromPmt(pmt, lines));
  Slice ppn = FindFile(folders, Concat(Slice::Of(n), Slice(".PPN")));
  if (ppn.ok() && !ppn.empty()) return mark.Release(MenuLinesFromPpn(ppn, lines));
  return mark.Release(SetDetail(Status::kFileNotFound, Slice::Of(n + ".PMT")));
}

Status BuildMenuEntries(const std::vector<std::string>& lines, std::vector<MenuEntry>* bar,
                        int first_command) {
  // open[0] is the bar; open[k] the popup opened at depth k - 1.
  std::vector<std::vector<MenuEntry>*> open{bar};
  int command = first_command;
  Status problem;
  auto report = [&](const char* what, const std::string& line) {
    if (problem.ok()) problem = SetDetail(Status::kBadInputData, Slice::Of(what + line));
  };
  for (const std::string& raw : lines) {
    MenuLine line = ParseLine(raw);
    if (line.title.empty() && !line.is_command && line.depth == 0) {
      std::string t = raw;
      if (t.find_first_not_of(" \t\r\n") == std::string::npos) continue;  // blank line
    }
    int depth = line.depth;
    if (depth > static_cast<int>(open.size()) - 1) {
      report("menu line deeper than its popup: ", raw);
      continue;
    }
    while (static_cast<int>(open.size()) - 1 > depth) open.pop_back();
    if (line.title.empty()) {
      report("menu line without a title: ", raw);
      continue;
    }
    if (line.is_command) {
      if (command >= kMenuCommandLimit) {
        report("more than 200 menu commands: ", raw);
        continue;
      }
      (void)strtab::Set(strtab::kMenuActions, command, Slice::Of(line.command));
      MenuEntry item;
      item.title = line.title;
      item.id = kMenuFirstId + command;
      open.back()->push_back(std::move(item));
      ++command;
    } else {
      MenuEntry popup;
      popup.title = line.title;
      popup.popup = true;
      open.back()->push_back(std::move(popup));
      open.push_back(&open.back()->back().entries);
    }
  }
  return problem;
}

namespace {
int CountCommands(const std::vector<MenuEntry>& entries) {
  int n = 0;
  for (const MenuEntry& e : entries) n += e.popup ? CountCommands(e.entries) : 1;
  return n;
}
}  // namespace

Status BuildMainMenu(Slice name, std::vector<MenuEntry>* bar) {
  std::vector<std::string> lines;
  Status read = MenuLinesOf(name, &lines);
  Status built = BuildMenuEntries(lines, bar);
  // The Help menu of every main window.
  std::vector<std::string> help;
  {
    AreaMark mark;
    Slice text = Message(kHelpMenuMessage);
    int items = CountItems(text, ',');
    for (int i = 1; i <= items; ++i) help.push_back(Str(Unquote(Trim(Item(text, ',', i)))));
  }
  (void)BuildMenuEntries(help, bar, CountCommands(*bar));
  return !read.ok() ? read : built;
}

Slice MenuCommandOf(int id) {
  if (id < kMenuFirstId || id >= kMenuFirstId + kMenuCommandLimit) return Slice();
  return strtab::Get(strtab::kMenuActions, id - kMenuFirstId);
}

Status MainMenuAction(void* context, WindowId window, int action) {
  (void)context;
  int low = action & 0xff;
  if (low == kEventMenuAction) return MainWindowEvent(action & 0xffff);
  if (low == kEventClose) {
    bool close = false;
    (void)MainWindowEvent(kEventClose, &close);
    if (close) {
      Windows().CloseAllWindows();
      (void)window;
    }
    return Status::kOk;
  }
  if (low == kEventHelp) return MainWindowEvent(kEventHelp);
  return Status::kOk;
}

Status RunMainMenuWindow(Slice menu_file) {
  std::vector<MenuEntry> bar;
  Status problem = BuildMainMenu(menu_file, &bar);
  WindowRequest request;
  request.kind = 0;
  AreaMark mark;
  std::string title = Str(strtab::Get(strtab::kEnvironment, 3));
  request.title = Slice::Of(title);
  request.menu = &bar;
  request.main_window = true;
  request.action = &MainMenuAction;
  Status status;
  WindowId window = Windows().OpenWindow(request, &status);
  if (window == kNoWindow) return mark.Release(status);
  // The bar holds what could be built; what could not is said once the
  // window is there to say it over.
  if (!problem.ok()) (void)ShowError(problem);
  (void)Windows().SetStatusLine(window, Slice::Of(title));
  // The runtime's logo fills the client area under the menu bar.
  (void)Windows().ShowPicture(window, kLogoPicture);
  // The loop's result is how the window closed, not a failure of the run.
  (void)Windows().RunWindow(window);
  return mark.Release(Status::kOk);
}

}  // namespace tessaly
