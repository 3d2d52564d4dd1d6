#include "platform/paths.h"

#include <cerrno>
#include <unordered_map>
#include <vector>

#include "platform/encoding.h"
#include "platform/env.h"

namespace tessaly::platform {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The folder a drive letter stands for, without a trailing '/'; "" is the
// root.
std::string DriveFolder(char letter) {
  char upper = letter >= 'a' ? static_cast<char>(letter - 32) : letter;
  std::string name = "TESSALY_DRIVE_";
  name.push_back(upper);
  std::optional<std::string> folder = CurrentEnv().GetVariable(name);
  if (!folder || folder->empty()) return "";
  std::string f = *folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  return f == "/" ? "" : f;
}

// Trailing blanks and dots of a component meant nothing on the other
// platform; "." and ".." keep theirs.
void TrimComponentEnds(std::string* path) {
  std::string out;
  out.reserve(path->size());
  size_t start = 0;
  while (start <= path->size()) {
    size_t end = path->find('/', start);
    if (end == std::string::npos) end = path->size();
    std::string_view comp(path->data() + start, end - start);
    if (comp != "." && comp != "..") {
      size_t keep = comp.size();
      while (keep > 0 && (comp[keep - 1] == ' ' || comp[keep - 1] == '.')) --keep;
      if (keep > 0) comp = comp.substr(0, keep);
    }
    out.append(comp);
    if (end == path->size()) break;
    out.push_back('/');
    start = end + 1;
  }
  *path = std::move(out);
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out = folder;
  if (out.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

// Remembered matches: the key of a path prefix as written (NameKey) to the
// Linux path it matched.
class MatchCache {
 public:
  static constexpr size_t kLimit = 1024;

  const std::string* Find(const std::string& key) {
    if (owner_ != &CurrentEnv()) Clear();
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  void Store(const std::string& key, const std::string& native) {
    if (map_.size() >= kLimit) map_.clear();
    owner_ = &CurrentEnv();
    map_[key] = native;
  }
  void Forget(const std::string& native) {
    for (auto it = map_.begin(); it != map_.end();) {
      const std::string& v = it->second;
      bool inside = v.size() > native.size() && v.compare(0, native.size(), native) == 0 &&
                    v[native.size()] == '/';
      if (v == native || inside) {
        it = map_.erase(it);
      } else {
        ++it;
      }
    }
  }
  void Clear() {
    map_.clear();
    owner_ = &CurrentEnv();
  }

 private:
  std::unordered_map<std::string, std::string> map_;
  Env* owner_ = nullptr;
};

MatchCache& Cache() {
  static MatchCache cache;
  return cache;
}

}  // namespace

std::string TranslatePath(std::string_view runtime_path) {
  std::string out;
  std::string_view rest = runtime_path;
  bool drive = rest.size() >= 2 && rest[1] == ':' && IsLetter(rest[0]);
  if (drive) {
    out = DriveFolder(rest[0]);
    rest.remove_prefix(2);
    // "C:NAME" is relative to the drive's folder, like "C:\NAME".
    out.push_back('/');
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/')) rest.remove_prefix(1);
  }
  std::string tail = Cp1252ToUtf8(rest);
  for (char& c : tail) {
    if (c == '\\') c = '/';
  }
  out += tail;
  TrimComponentEnds(&out);
  return out;
}

int ResolveNative(const std::string& native, Resolve mode, std::string* resolved) {
  Env& env = CurrentEnv();
  if (native.empty()) return ENOENT;
  if (env.Exists(native)) {
    *resolved = native;
    return 0;
  }
  // Components and the key of each prefix.
  bool absolute = native[0] == '/';
  std::vector<std::string_view> comps;
  for (size_t start = 0; start < native.size();) {
    size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    if (end > start) comps.emplace_back(native.data() + start, end - start);
    start = end + 1;
  }
  if (comps.empty()) return ENOENT;
  std::vector<std::string> keys(comps.size());
  std::string key = absolute ? "/" : "";
  for (size_t i = 0; i < comps.size(); ++i) {
    if (i > 0) key.push_back('/');
    key += NameKey(comps[i]);
    keys[i] = key;
  }

  // Start from the longest remembered prefix that still exists.
  MatchCache& cache = Cache();
  std::string current = absolute ? "/" : "";
  size_t first = 0;
  for (size_t i = comps.size(); i > 0; --i) {
    const std::string* hit = cache.Find(keys[i - 1]);
    if (hit != nullptr && env.Exists(*hit)) {
      current = *hit;
      first = i;
      break;
    }
  }

  std::vector<std::string> entries;
  for (size_t i = first; i < comps.size(); ++i) {
    std::string_view comp = comps[i];
    std::string candidate = Join(current, comp);
    bool last = i + 1 == comps.size();
    if (comp == "." || comp == ".." || env.Exists(candidate)) {
      current = std::move(candidate);
      continue;
    }
    int err = env.ListFolder(current.empty() ? "." : current, &entries);
    const std::string* match = nullptr;
    if (err == 0) {
      std::string wanted = NameKey(comp);
      // Several spellings of one name: take the first in byte order, so the
      // answer does not depend on the folder's order.
      for (const std::string& e : entries) {
        if ((match == nullptr || e < *match) && NameKey(e) == wanted) match = &e;
      }
    }
    if (match != nullptr) {
      current = Join(current, *match);
      cache.Store(keys[i], current);
      continue;
    }
    if (last && mode == Resolve::kForCreate && err == 0) {
      *resolved = std::move(candidate);
      return 0;
    }
    return err == ENOTDIR ? ENOTDIR : ENOENT;
  }
  *resolved = std::move(current);
  return 0;
}

int ResolvePath(std::string_view runtime_path, Resolve mode, std::string* native) {
  return ResolveNative(TranslatePath(runtime_path), mode, native);
}

void ForgetPath(const std::string& native) { Cache().Forget(native); }

void ForgetAllPaths() { Cache().Clear(); }

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

namespace {

bool Match(std::string_view p, std::string_view n) {
  auto same = [](char a, char b) {
    return FoldCp1252(static_cast<unsigned char>(a)) == FoldCp1252(static_cast<unsigned char>(b));
  };
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() && (p[pi] == '?' || same(p[pi], n[ni]))) {
      ++pi;
      ++ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool MatchPattern(std::string_view pattern, std::string_view name) {
  if (Match(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return Match(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

std::string RuntimeFormOf(std::string_view native) {
  std::string out = Utf8ToCp1252(native);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

}  // namespace tessaly::platform
