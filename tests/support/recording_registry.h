// A registry for tests that records every call made through it and makes
// chosen calls fail, forwarding everything else to a real registry.
//
//   MemoryRegistry memory;
//   RecordingRegistry registry(memory);
//   registry.Inject(RegistryCall::kCreateKeyEx, 5);                  // every
//   one registry.Inject(RegistryCall::kDeleteKey, 5).OnNth(3);           // the
//   3rd one registry.Inject(RegistryCall::kOpenKeyEx, 2).ForName("A\\B");    //
//   that path
//   ... run the code under test ...
//   EXPECT_EQ(registry.Count(RegistryCall::kCloseKey), 2);
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "registry/forwarding_registry.h"

namespace quillprobe::registry {

enum class RegistryCall {
  kOpenKeyEx,
  kCreateKeyEx,
  kCloseKey,
  kQueryInfoKey,
  kEnumValue,
  kEnumKeyEx,
  kSetValueEx,
  kDeleteValue,
  kDeleteKey,
};

std::string_view CallName(RegistryCall call);
std::ostream& operator<<(std::ostream& out, RegistryCall call);

// One call as the caller made it, and what it returned.
struct RecordedCall {
  RegistryCall call = RegistryCall::kOpenKeyEx;
  HKey key = kNoKey;
  // The sub_key of OpenKeyEx, CreateKeyEx and DeleteKey; the value name of
  // SetValueEx and DeleteValue.
  std::string name = {};
  std::uint32_t index = 0;              // EnumValue, EnumKeyEx
  std::uint32_t access = 0;             // OpenKeyEx, CreateKeyEx
  std::string class_name = {};          // CreateKeyEx
  std::uint32_t type = 0;               // SetValueEx
  std::vector<std::uint8_t> data = {};  // SetValueEx
  // The capacities passed in: name (EnumValue, EnumKeyEx), data (EnumValue)
  // and class (QueryInfoKey, EnumKeyEx); 0 when the pointer was null.
  std::uint32_t name_capacity = 0;
  std::uint32_t data_capacity = 0;
  std::uint32_t class_capacity = 0;
  HKey opened = kNoKey;  // the handle OpenKeyEx or CreateKeyEx returned
  Status status = registry::status::kSuccess;
  bool injected = false;  // the status came from an injection
};

std::ostream& operator<<(std::ostream& out, const RecordedCall& call);

// A rule that makes matching calls return a status without reaching the
// target. Open and create calls then return kNoKey as the handle; no other
// output is touched.
class Injection {
 public:
  Injection(RegistryCall call, Status status) : call_(call), status_(status) {}

  // Only calls whose sub_key or value name equals `name`, ignoring case.
  Injection& ForName(std::string_view name);
  // Only calls on this handle.
  Injection& ForKey(HKey key);
  // Only the nth matching call (counting from 1); without it, every one.
  Injection& OnNth(int nth);

 private:
  friend class RecordingRegistry;
  // Counts a call of this rule's kind and says whether the rule fires.
  bool Fires(RegistryCall call, HKey key, std::string_view name);

  RegistryCall call_;
  Status status_;
  std::optional<std::string> name_;
  std::optional<HKey> key_;
  std::optional<int> nth_;
  int matched_ = 0;
};

class RecordingRegistry : public ForwardingRegistry {
 public:
  using ForwardingRegistry::ForwardingRegistry;

  // Adds a rule; the reference stays valid for the life of the registry.
  // When several rules fire for one call, the first added wins; every rule
  // counts the calls it matches.
  Injection& Inject(RegistryCall call, Status status);

  const std::vector<RecordedCall>& Calls() const { return calls_; }
  std::vector<RecordedCall> CallsOf(RegistryCall call) const;
  std::size_t Count(RegistryCall call) const;
  void ClearCalls() { calls_.clear(); }

  Status OpenKeyEx(HKey key, std::string_view sub_key, std::uint32_t options,
                   std::uint32_t access, HKey* result) override;
  Status CreateKeyEx(HKey key, std::string_view sub_key,
                     std::string_view class_name, std::uint32_t options,
                     std::uint32_t access, const SecurityAttributes* security,
                     HKey* result, std::uint32_t* disposition) override;
  Status CloseKey(HKey key) override;
  Status QueryInfoKey(HKey key, char* class_name, std::uint32_t* class_length,
                      KeyInfo* info) override;
  Status EnumValue(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* data_length) override;
  Status EnumKeyEx(HKey key, std::uint32_t index, char* name,
                   std::uint32_t* name_length, char* class_name,
                   std::uint32_t* class_length,
                   std::uint64_t* last_write_time) override;
  Status SetValueEx(HKey key, std::string_view name, std::uint32_t type,
                    std::span<const std::uint8_t> data) override;
  Status DeleteValue(HKey key, std::string_view name) override;
  Status DeleteKey(HKey key, std::string_view sub_key) override;

 private:
  // The status of the first rule that fires for this call.
  std::optional<Status> Injected(const RecordedCall& call);
  // Records `call` with the status the target (or an injection) gave.
  // Records `call` with the status that an injection or `forward` (the
  // call to the target) gives. `result` is the handle output of an open or
  // create call.
  template <typename Forward>
  Status Run(RecordedCall call, Forward forward, HKey* result = nullptr);

  std::deque<Injection> injections_;
  std::vector<RecordedCall> calls_;
};

}  // namespace quillprobe::registry
