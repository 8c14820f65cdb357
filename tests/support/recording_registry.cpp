#include "tests/support/recording_registry.h"

#include <algorithm>
#include <utility>

#include "registry/unicode_case.h"

namespace quillprobe::registry {

std::string_view CallName(RegistryCall call) {
  switch (call) {
    case RegistryCall::kOpenKeyEx:
      return "OpenKeyEx";
    case RegistryCall::kCreateKeyEx:
      return "CreateKeyEx";
    case RegistryCall::kCloseKey:
      return "CloseKey";
    case RegistryCall::kQueryInfoKey:
      return "QueryInfoKey";
    case RegistryCall::kEnumValue:
      return "EnumValue";
    case RegistryCall::kEnumKeyEx:
      return "EnumKeyEx";
    case RegistryCall::kSetValueEx:
      return "SetValueEx";
    case RegistryCall::kDeleteValue:
      return "DeleteValue";
    case RegistryCall::kDeleteKey:
      return "DeleteKey";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& out, RegistryCall call) {
  return out << CallName(call);
}

std::ostream& operator<<(std::ostream& out, const RecordedCall& call) {
  out << call.call << "(key " << std::hex << "0x"
      << static_cast<std::uint32_t>(call.key) << std::dec;
  switch (call.call) {
    case RegistryCall::kOpenKeyEx:
    case RegistryCall::kCreateKeyEx:
      out << ", \"" << call.name << "\", access 0x" << std::hex << call.access
          << std::dec;
      break;
    case RegistryCall::kSetValueEx:
      out << ", \"" << call.name << "\", type " << call.type << ", "
          << call.data.size() << " bytes";
      break;
    case RegistryCall::kDeleteValue:
    case RegistryCall::kDeleteKey:
      out << ", \"" << call.name << "\"";
      break;
    case RegistryCall::kEnumValue:
    case RegistryCall::kEnumKeyEx:
      out << ", index " << call.index;
      break;
    case RegistryCall::kCloseKey:
    case RegistryCall::kQueryInfoKey:
      break;
  }
  out << ") -> " << call.status;
  if (call.injected) out << " (injected)";
  return out;
}

Injection& Injection::ForName(std::string_view name) {
  name_ = std::string(name);
  return *this;
}

Injection& Injection::ForKey(HKey key) {
  key_ = key;
  return *this;
}

Injection& Injection::OnNth(int nth) {
  nth_ = nth;
  return *this;
}

bool Injection::Fires(RegistryCall call, HKey key, std::string_view name) {
  if (call != call_) return false;
  if (name_ && !EqualsIgnoreCase(*name_, name)) return false;
  if (key_ && *key_ != key) return false;
  ++matched_;
  return !nth_ || *nth_ == matched_;
}

Injection& RecordingRegistry::Inject(RegistryCall call, Status status) {
  return injections_.emplace_back(call, status);
}

std::vector<RecordedCall> RecordingRegistry::CallsOf(RegistryCall call) const {
  std::vector<RecordedCall> matching;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
               [call](const RecordedCall& c) { return c.call == call; });
  return matching;
}

std::size_t RecordingRegistry::Count(RegistryCall call) const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(),
                    [call](const RecordedCall& c) { return c.call == call; }));
}

std::optional<Status> RecordingRegistry::Injected(const RecordedCall& call) {
  std::optional<Status> status;
  for (Injection& injection : injections_) {
    // Every rule sees the call, so that each counts its own matches.
    if (injection.Fires(call.call, call.key, call.name) && !status) {
      status = injection.status_;
    }
  }
  return status;
}

template <typename Forward>
Status RecordingRegistry::Run(RecordedCall call, Forward forward,
                              HKey* result) {
  if (const std::optional<Status> injected = Injected(call)) {
    call.status = *injected;
    call.injected = true;
    if (result != nullptr) *result = kNoKey;
  } else {
    call.status = forward();
  }
  if (result != nullptr) call.opened = *result;
  calls_.push_back(std::move(call));
  return calls_.back().status;
}

Status RecordingRegistry::OpenKeyEx(HKey key, std::string_view sub_key,
                                    std::uint32_t options, std::uint32_t access,
                                    HKey* result) {
  RecordedCall call{.call = RegistryCall::kOpenKeyEx, .key = key};
  call.name = sub_key;
  call.access = access;
  return Run(
      std::move(call),
      [&] {
        return ForwardingRegistry::OpenKeyEx(key, sub_key, options, access,
                                             result);
      },
      result);
}

Status RecordingRegistry::CreateKeyEx(HKey key, std::string_view sub_key,
                                      std::string_view class_name,
                                      std::uint32_t options,
                                      std::uint32_t access,
                                      const SecurityAttributes* security,
                                      HKey* result,
                                      std::uint32_t* disposition) {
  RecordedCall call{.call = RegistryCall::kCreateKeyEx, .key = key};
  call.name = sub_key;
  call.class_name = class_name;
  call.access = access;
  return Run(
      std::move(call),
      [&] {
        return ForwardingRegistry::CreateKeyEx(key, sub_key, class_name,
                                               options, access, security,
                                               result, disposition);
      },
      result);
}

Status RecordingRegistry::CloseKey(HKey key) {
  return Run({.call = RegistryCall::kCloseKey, .key = key},
             [&] { return ForwardingRegistry::CloseKey(key); });
}

Status RecordingRegistry::QueryInfoKey(HKey key, char* class_name,
                                       std::uint32_t* class_length,
                                       KeyInfo* info) {
  RecordedCall call{.call = RegistryCall::kQueryInfoKey, .key = key};
  call.class_capacity = class_length ? *class_length : 0;
  return Run(std::move(call), [&] {
    return ForwardingRegistry::QueryInfoKey(key, class_name, class_length,
                                            info);
  });
}

Status RecordingRegistry::EnumValue(HKey key, std::uint32_t index, char* name,
                                    std::uint32_t* name_length,
                                    std::uint32_t* type, std::uint8_t* data,
                                    std::uint32_t* data_length) {
  RecordedCall call{.call = RegistryCall::kEnumValue, .key = key};
  call.index = index;
  call.name_capacity = name_length ? *name_length : 0;
  call.data_capacity = (data && data_length) ? *data_length : 0;
  return Run(std::move(call), [&] {
    return ForwardingRegistry::EnumValue(key, index, name, name_length, type,
                                         data, data_length);
  });
}

Status RecordingRegistry::EnumKeyEx(HKey key, std::uint32_t index, char* name,
                                    std::uint32_t* name_length,
                                    char* class_name,
                                    std::uint32_t* class_length,
                                    std::uint64_t* last_write_time) {
  RecordedCall call{.call = RegistryCall::kEnumKeyEx, .key = key};
  call.index = index;
  call.name_capacity = name_length ? *name_length : 0;
  call.class_capacity = (class_name && class_length) ? *class_length : 0;
  return Run(std::move(call), [&] {
    return ForwardingRegistry::EnumKeyEx(key, index, name, name_length,
                                         class_name, class_length,
                                         last_write_time);
  });
}

Status RecordingRegistry::SetValueEx(HKey key, std::string_view name,
                                     std::uint32_t type,
                                     std::span<const std::uint8_t> data) {
  RecordedCall call{.call = RegistryCall::kSetValueEx, .key = key};
  call.name = name;
  call.type = type;
  call.data.assign(data.begin(), data.end());
  return Run(std::move(call), [&] {
    return ForwardingRegistry::SetValueEx(key, name, type, data);
  });
}

Status RecordingRegistry::DeleteValue(HKey key, std::string_view name) {
  RecordedCall call{.call = RegistryCall::kDeleteValue, .key = key};
  call.name = name;
  return Run(std::move(call),
             [&] { return ForwardingRegistry::DeleteValue(key, name); });
}

Status RecordingRegistry::DeleteKey(HKey key, std::string_view sub_key) {
  RecordedCall call{.call = RegistryCall::kDeleteKey, .key = key};
  call.name = sub_key;
  return Run(std::move(call),
             [&] { return ForwardingRegistry::DeleteKey(key, sub_key); });
}

}  // namespace quillprobe::registry
