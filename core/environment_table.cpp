#include "core/environment_table.h"

#include <string>

#include "core/string_tables.h"
#include "core/text.h"

namespace tessaly {

Slice GetEnvironment(int slot) {
  if (slot < 0 || slot >= kEnvironmentSlotCount) return Slice();
  Slice s = strtab::Get(strtab::kEnvironment, slot);
  return s.ok() ? s : Slice();
}

Status SetEnvironment(int slot, Slice text) {
  if (slot < 0 || slot >= kEnvironmentSlotCount) return Status::kStrOutBound;
  if (!text.ok()) return text.status();
  // The text may be a part of the slot it replaces.
  std::string copy = text.str();
  return strtab::Set(strtab::kEnvironment, slot, Slice::Of(copy));
}

Slice ApplicationCode() {
  Slice name = Item(GetEnvironment(kEnvApplicationName), ':', 1);
  return Substring(name, 0, 2);
}

Slice ApplicationSecondItem() { return Item(GetEnvironment(kEnvApplicationName), ':', 2); }

Slice LanguageCode() { return GetEnvironment(kEnvLanguage); }

Slice DatabaseParameter(int n) {
  if (n < 1 || n > 4) return Slice();
  return Unquote(Trim(Item(GetEnvironment(kEnvDatabase), ',', n)));
}

Slice EnvironmentNameValue(Slice name, bool* known) {
  if (known != nullptr) *known = true;
  int n = ItemPosition(Slice(kEnvironmentNames), name, ',');
  if (n == 2) return ApplicationCode();
  if (n != 0) return GetEnvironment(n);
  n = ItemPosition(Slice(kDatabaseNames), name, ',');
  if (n != 0) return DatabaseParameter(n);
  if (known != nullptr) *known = false;
  return Slice();
}

}  // namespace tessaly
