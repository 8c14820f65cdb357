// The conformance suite of the registry interface: one set of tests that
// every implementation passes, the Windows registry itself included.
//
// The tests live in registry_conformance_test.cpp; an implementation joins
// by linking that file into a test executable together with a file that
// instantiates the suite with a factory for it:
//
//   INSTANTIATE_TEST_SUITE_P(
//       Memory, RegistryConformanceTest,
//       ::testing::Values(ConformanceTarget{
//           "Memory", [] { return std::make_unique<MemoryRegistry>(); }}),
//       ConformanceTargetName);
//
// Every test works in a scratch key of its own,
// HKEY_CURRENT_USER\Software\quillprobe-tests\<test>-<random>, and deletes it
// afterwards, so the suite can run against a live registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/registry_api.h"

namespace quillprobe::registry {

// Windows behaviours that a target is known to miss; the tests of those
// behaviours skip on it rather than fail. Wine, on which the Windows target
// runs in cross builds, departs from Windows in each of these.
struct KnownDepartures {
  // Values enumerate in name order, not in the order they were added.
  bool values_in_name_order = false;
  // Subkeys sort by lower-cased names ('_' before letters).
  bool subkeys_in_lower_case_order = false;
  // CreateKeyEx of an empty sub_key reports 1 (created), not 2 (opened).
  bool create_of_empty_path_reports_created = false;
  // Key names have no length limit.
  bool no_key_name_limit = false;
  // QueryInfoKey and the creation of a subkey need no rights on the handle.
  bool no_access_checks_for_query_and_create = false;
  // A class that does not fit reports the length copied, not its own.
  bool class_overflow_reports_copied_length = false;
  // CreateKeyEx of an existing key gives it the class passed in.
  bool create_replaces_class = false;
  // String data stored without a terminating NUL comes back with one.
  bool strings_gain_a_nul = false;
};

struct ConformanceTarget {
  std::string name;  // letters and digits only: it names the instantiation
  std::function<std::unique_ptr<RegistryApi>()> make;
  KnownDepartures departures = {};
};

void PrintTo(const ConformanceTarget& target, std::ostream* out);

// Names the tests of an instantiation after its target.
std::string ConformanceTargetName(
    const ::testing::TestParamInfo<ConformanceTarget>& info);

// A value as EnumValue reads it back.
struct StoredValue {
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;

  bool operator==(const StoredValue&) const = default;
};

void PrintTo(const StoredValue& value, std::ostream* out);

class RegistryConformanceTest
    : public ::testing::TestWithParam<ConformanceTarget> {
 protected:
  void SetUp() override;
  void TearDown() override;

  RegistryApi& registry() { return *registry_; }
  const KnownDepartures& departures() const { return GetParam().departures; }
  // The scratch key, with all rights.
  HKey scratch() const { return scratch_; }

  // Creates (or opens) `path` under `parent`; the handle is closed after the
  // test. kNoKey, and a failure, when the call fails.
  HKey Create(std::string_view path, std::uint32_t access = access::kAllAccess,
              HKey parent = kNoKey);
  // Opens `path` under the scratch key; as Create.
  HKey Open(std::string_view path, std::uint32_t access);
  // Closes a handle that Create or Open returned before the test ends.
  void Close(HKey key);

  void SetValue(HKey key, std::string_view name, std::uint32_t type,
                std::vector<std::uint8_t> data);
  void SetString(HKey key, std::string_view name, std::string_view text);

  // Everything EnumValue and EnumKeyEx report, in their order.
  std::vector<StoredValue> Values(HKey key);
  std::vector<std::string> SubkeyNames(HKey key);

 private:
  void DeleteTree(HKey parent, const std::string& path);

  std::unique_ptr<RegistryApi> registry_;
  std::string scratch_path_;
  HKey scratch_ = kNoKey;
  std::vector<HKey> open_handles_;
};

// Bytes of a text, without a NUL unless the text has one.
std::vector<std::uint8_t> Bytes(std::string_view text);

}  // namespace quillprobe::registry
