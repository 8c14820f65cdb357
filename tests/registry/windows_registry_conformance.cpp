// The Windows registry in the conformance suite: advapi32 on Windows, and in
// cross builds advapi32 as Wine implements it.
#include <memory>

#include "registry/registry_windows.h"
#include "tests/registry/registry_conformance.h"
#include "tests/support/wine_detection.h"

namespace quillprobe::registry {
namespace {

// Where Wine's registry departs from Windows. Each test of these behaviours
// still runs on Windows; only under Wine (seen in Wine 8.0) is it skipped.
KnownDepartures WineDepartures() {
  KnownDepartures wine;
  // RegCreateKeyEx of an empty sub path opens the key itself; Windows
  // reports REG_OPENED_EXISTING_KEY, Wine REG_CREATED_NEW_KEY.
  wine.create_of_empty_path_reports_created = true;
  // Windows keeps a key's values in the order they were added (RegEnumValue
  // promises no order, but this is the order Windows and the local registry
  // keep); Wine keeps them sorted by name.
  wine.values_in_name_order = true;
  // Windows orders subkeys by their upper-cased names; Wine compares them
  // lower-cased, which puts '_' before the letters.
  wine.subkeys_in_lower_case_order = true;
  // Windows refuses key names longer than 255 characters (the registry's
  // documented element size limit) with ERROR_INVALID_PARAMETER; Wine
  // creates them.
  wine.no_key_name_limit = true;
  // RegQueryInfoKey needs KEY_QUERY_VALUE and RegCreateKeyEx needs
  // KEY_CREATE_SUB_KEY on the handle they are given, as documented; Wine
  // checks neither.
  wine.no_access_checks_for_query_and_create = true;
  // RegCreateKeyEx of an existing key opens it and leaves its class alone;
  // Wine gives it the class passed in.
  wine.create_replaces_class = true;
  return wine;
}

INSTANTIATE_TEST_SUITE_P(
    Windows, RegistryConformanceTest,
    ::testing::Values(ConformanceTarget{
        "Windows", [] { return std::make_unique<WindowsRegistry>(); },
        testing::RunningUnderWine() ? WineDepartures() : KnownDepartures{}}),
    ConformanceTargetName);

}  // namespace
}  // namespace quillprobe::registry
