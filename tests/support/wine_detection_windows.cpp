#include <windows.h>

#include "tests/support/wine_detection.h"

namespace quillprobe::testing {

// Wine's ntdll exports its version; Windows' has no such function.
bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr &&
         GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace quillprobe::testing
