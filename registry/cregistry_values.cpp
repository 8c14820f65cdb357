// Writing and deleting the string values of the bound key.
#include <vector>

#include "registry/cregistry.h"
#include "registry/cregistry_internal.h"

namespace quillprobe::registry {

using namespace internal;

bool CRegistry::SetValue(const VariantRequest& sKeyName,
                         std::string_view sValue) {
  // The name is found first, so that a request without a text form raises
  // even when there is nothing to write. A position takes its name from the
  // current snapshot; outside the table that is the unnamed value.
  const auto position = sKeyName.Position();
  const std::string name = position ? GetName(*position) : sKeyName.ToText();

  if (sValue.empty()) return false;
  if (!OpenKey(kAccessSetValue)) return false;

  // REG_SZ data carries its terminating NUL.
  std::vector<std::uint8_t> data(sValue.begin(), sValue.end());
  data.push_back(0);
  const bool written =
      api_.SetValueEx(hKey_, name, value_type::kSz, data) == status::kSuccess;
  CloseKey();
  return written;
}

bool CRegistry::DeleteValue(std::string_view sValue) {
  try {
    OpenKey(kAccessSnapshot);
    const bool deleted = api_.DeleteValue(hKey_, sValue) == status::kSuccess;
    CloseKey();
    GetKeyInfo();
    return deleted;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace quillprobe::registry
