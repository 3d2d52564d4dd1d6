#include "tools/datafile_tool.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "core/slice.h"
#include "core/status.h"
#include "data/datafile.h"
#include "data/dictionary.h"
#include "data/structures.h"
#include "platform/encoding.h"
#include "platform/env.h"

namespace tessaly::tools {

namespace {

bool ParseNumber(std::string_view text, long* out) {
  if (text.empty()) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || v > 1000000000) return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

std::vector<std::string_view> SplitOn(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// "1:10;11:20,31:5": keys by ';', segments by ',', 1-based offset:length.
bool ParseKeys(std::string_view text, std::vector<DataKeyDef>* keys) {
  for (std::string_view key : SplitOn(text, ';')) {
    DataKeyDef def;
    for (std::string_view seg : SplitOn(key, ',')) {
      size_t colon = seg.find(':');
      long offset = 0, length = 0;
      if (colon == std::string_view::npos || !ParseNumber(seg.substr(0, colon), &offset) ||
          !ParseNumber(seg.substr(colon + 1), &length) || offset < 1 || length < 1 ||
          offset + length > 65536) {
        return false;
      }
      def.segments.push_back(
          DataKeySegment{static_cast<uint16_t>(offset - 1), static_cast<uint16_t>(length)});
    }
    keys->push_back(std::move(def));
  }
  return !keys->empty();
}

}  // namespace

std::string Describe(unsigned code) {
  std::string text = std::to_string(code) + " " + StatusName(static_cast<uint16_t>(code));
  Slice detail = GetDetail();
  if (!detail.empty()) text += ": " + platform::Cp1252ToUtf8(detail.view());
  return text;
}

void PrintText(const std::string& text) {
  std::string utf8 = platform::Cp1252ToUtf8(text);
  platform::File* out = platform::CurrentEnv().StandardStream(1);
  (void)out->WriteAt(0, utf8.data(), utf8.size());
}

bool SetUpDataFile(int argc, char** argv, DataFileArgs* args) {
  std::string dictionary, folders, length_text, keys_text, target;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string key_text;
    bool ok = true;
    if (a == "--dictionary") {
      ok = value(&dictionary);
    } else if (a == "--folders") {
      ok = value(&folders);
    } else if (a == "--record-length") {
      ok = value(&length_text);
    } else if (a == "--keys") {
      ok = value(&keys_text);
    } else if (a == "--key") {
      long k = 0;
      ok = value(&key_text) && ParseNumber(key_text, &k) && k >= 1 && k <= 99;
      args->key = static_cast<int>(k);
    } else if (a == "--numbers") {
      args->numbers = true;
    } else if (!a.empty() && a[0] != '-' && target.empty()) {
      target = std::string(a);
    } else {
      ok = false;
    }
    if (!ok) {
      args->error = "unexpected argument: " + std::string(a);
      return false;
    }
  }
  if (target.empty()) {
    args->error = "no data file named";
    return false;
  }
  std::string runtime_target = platform::Utf8ToCp1252(target);

  if (!dictionary.empty()) {
    std::string code = platform::Utf8ToCp1252(dictionary);
    std::string list = platform::Utf8ToCp1252(folders);
    std::string first = list.substr(0, list.find(','));
    Status s = DictionaryLoad(Slice::Of(code), Slice::Of(first), Slice::Of(list));
    if (s != Status::kOk) {
      args->error = "the dictionary cannot be loaded: " + Describe(s);
      return false;
    }
    UseStructuresForDataFiles();
    long number = 0;
    int file = ParseNumber(runtime_target, &number) ? static_cast<int>(number)
                                                    : FileByName(Slice::Of(runtime_target));
    if (file < 1 || file > FileCount()) {
      args->error = "the dictionary has no file " + target;
      return false;
    }
    args->file = file;
    return true;
  }

  long length = 0;
  DataFileLayout layout;
  if (!ParseNumber(length_text, &length) || length < 1 || length > 65535 ||
      !ParseKeys(keys_text, &layout.keys)) {
    args->error = "give --dictionary, or --record-length and --keys";
    return false;
  }
  layout.record_length = static_cast<uint16_t>(length);
  std::string name = runtime_target;
  if (name.size() > 4) {
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".DIR") name.resize(name.size() - 4);
  }
  layout.name = name;
  Status s = BuiltinDataFileTable().Define(1, layout);
  if (s != Status::kOk) {
    args->error = "the keys do not fit the record length";
    return false;
  }
  args->file = 1;
  return true;
}

}  // namespace tessaly::tools
