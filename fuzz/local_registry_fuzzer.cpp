// Arbitrary bytes as a sequence of registry calls (create, open, set value,
// delete value, delete key, close) made on two registries at once: the local
// registry, on a prefix of its own, and the memory registry as the model.
//
// Beyond the sanitizers' checks: both answer every call with the same
// status, and after every call the hive file on disk loads to the same tree
// as the model holds, so nothing the local registry acknowledged is missing
// from the file and nothing else is in it. After every write, a new local
// registry on the same prefix, as another process would open it, lists the
// same keys and values through the registry calls (reading the file one key
// at a time where it can).
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/same_tree.h"
#include "registry/local_registry.h"
#include "registry/memory_registry.h"
#include "registry/reg_import.h"

namespace {

namespace fs = std::filesystem;
namespace registry = quillprobe::registry;
using quillprobe::fuzz::Check;
using registry::HKey;
using registry::Status;

constexpr HKey kHklm = registry::roots::kLocalMachine;

// The prefix of this fuzzing process, under the temporary directory
// (TMPDIR; scripts/fuzz points it at a file system in memory, where the
// syncs of every write cost nothing, and removes it afterwards).
const fs::path& Prefix() {
  static const fs::path prefix = [] {
    fs::path dir;
    for (unsigned attempt = 0;; ++attempt) {
      dir = fs::temp_directory_path() /
            ("quillprobe-fuzz-" + std::to_string(std::random_device()()));
      if (fs::create_directory(dir)) break;
      Check(attempt < 100, "a fresh prefix can be made");
    }
    return dir;
  }();
  return prefix;
}

// Reads the input a piece at a time; past its end every byte is 0.
class Input {
 public:
  explicit Input(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool empty() const { return bytes_.empty(); }
  std::uint8_t Byte() {
    if (bytes_.empty()) return 0;
    const std::uint8_t b = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return b;
  }
  std::vector<std::uint8_t> Bytes(std::size_t count) {
    count = std::min(count, bytes_.size());
    std::vector<std::uint8_t> out(bytes_.begin(),
                                  bytes_.begin() + static_cast<long>(count));
    bytes_ = bytes_.subspan(count);
    return out;
  }
  // A name or path: a length byte, then that many bytes; a length from 250
  // up gives a name too long for a key (300 'n's).
  std::string Name() {
    const std::uint8_t length = Byte();
    if (length >= 250) return std::string(300, 'n');
    const auto bytes = Bytes(length);
    return std::string(bytes.begin(), bytes.end());
  }
  std::uint32_t Type() {
    const std::uint8_t b = Byte();
    return b <= 11 ? b : b * 0x01010101u;
  }
  std::uint32_t Access() {
    static constexpr std::array<std::uint32_t, 4> kAccess = {
        registry::access::kRead, registry::access::kAllAccess,
        registry::access::kSetValue, 0};
    return kAccess[Byte() % kAccess.size()];
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// An open key in both registries.
struct Pair {
  HKey local = registry::kNoKey;
  HKey model = registry::kNoKey;
};

class Session {
 public:
  Session() : local_(Prefix()) {}
  ~Session() {
    for (Pair& slot : slots_) Close(slot);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Step(Input& in) {
    const std::uint8_t op = in.Byte();
    const Pair from = Slot(in.Byte());
    Pair& into = slots_[in.Byte() % slots_.size()];
    bool wrote = false;  // a call that can change the hive succeeded
    switch (op % 6) {
      case 0: {
        const std::string path = in.Name();
        const std::uint32_t access = in.Access();
        Close(into);
        std::uint32_t d1 = 0, d2 = 0;
        wrote = Same(local_.CreateKeyEx(from.local, path, "", 0, access,
                                        nullptr, &into.local, &d1),
                     model_.CreateKeyEx(from.model, path, "", 0, access,
                                        nullptr, &into.model, &d2));
        Check(d1 == d2, "the same disposition");
        break;
      }
      case 1: {
        const std::string path = in.Name();
        const std::uint32_t access = in.Access();
        Close(into);
        Same(local_.OpenKeyEx(from.local, path, 0, access, &into.local),
             model_.OpenKeyEx(from.model, path, 0, access, &into.model));
        break;
      }
      case 2: {
        const std::string name = in.Name();
        const std::uint32_t type = in.Type();
        const auto data = in.Bytes(in.Byte());
        wrote = Same(local_.SetValueEx(from.local, name, type, data),
                     model_.SetValueEx(from.model, name, type, data));
        break;
      }
      case 3: {
        const std::string name = in.Name();
        wrote = Same(local_.DeleteValue(from.local, name),
                     model_.DeleteValue(from.model, name));
        break;
      }
      case 4: {
        const std::string path = in.Name();
        wrote = Same(local_.DeleteKey(from.local, path),
                     model_.DeleteKey(from.model, path));
        break;
      }
      default:
        Close(into);
        break;
    }
    CheckDisk();
    if (wrote) CheckReader();
  }

 private:
  // A slot's key, or HKEY_LOCAL_MACHINE for numbers past the slots.
  Pair Slot(std::uint8_t number) {
    if (number % 8 < slots_.size()) return slots_[number % 8];
    return Pair{kHklm, kHklm};
  }

  void Close(Pair& slot) {
    if (slot.local != registry::kNoKey) local_.CloseKey(slot.local);
    if (slot.model != registry::kNoKey) model_.CloseKey(slot.model);
    slot = Pair{};
  }

  // True when both succeeded.
  static bool Same(Status local, Status model) {
    Check(local == model, "the local registry answers as the model");
    return local == registry::status::kSuccess;
  }

  // The hive file as another process would read it.
  void CheckDisk() {
    const fs::path hive = local_.HivePath(kHklm);
    const registry::Key& expected = *model_.RootKey(kHklm);
    std::error_code error;
    if (!fs::exists(hive, error)) {
      Check(expected.values().empty() && expected.subkeys().empty(),
            "no hive file only while the hive is empty");
      return;
    }
    std::ifstream file(hive, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file),
                           std::istreambuf_iterator<char>()};
    const auto loaded =
        registry::LoadHiveText(text, "HKEY_LOCAL_MACHINE", hive.string());
    const auto* tree = std::get_if<std::shared_ptr<registry::Key>>(&loaded);
    Check(tree != nullptr, "the hive file loads");
    Check(quillprobe::fuzz::SameTree(**tree, expected),
          "the hive file holds what the model holds");
  }

  // What a new registry on the prefix lists, key by key from the top (up
  // to a bound per call), against the model.
  void CheckReader() {
    registry::LocalRegistry reader(Prefix());
    std::vector<std::pair<const registry::Key*, std::string>> pending = {
        {model_.RootKey(kHklm), ""}};
    std::vector<char>& name = name_buffer_;
    std::vector<std::uint8_t> data;
    for (std::size_t count = 0; !pending.empty() && count < 64; ++count) {
      const auto [expected, path] = std::move(pending.back());
      pending.pop_back();
      HKey key = kHklm;
      if (!path.empty()) {
        Check(reader.OpenKeyEx(kHklm, path, 0, registry::access::kRead, &key) ==
                  registry::status::kSuccess,
              "a new registry opens every key");
      }
      std::uint32_t index = 0;
      for (const registry::Value& value : expected->values()) {
        auto name_length = static_cast<std::uint32_t>(name.size());
        std::uint32_t type = 0;
        data.resize(value.data.size());
        auto data_length = static_cast<std::uint32_t>(data.size());
        Check(reader.EnumValue(key, index++, name.data(), &name_length, &type,
                               data.data(),
                               &data_length) == registry::status::kSuccess &&
                  std::string_view(name.data(), name_length) == value.name &&
                  type == value.type && data_length == value.data.size() &&
                  data == value.data,
              "a new registry lists every value, byte for byte, in order");
      }
      auto name_length = static_cast<std::uint32_t>(name.size());
      Check(
          reader.EnumValue(key, index, name.data(), &name_length, nullptr,
                           nullptr, nullptr) == registry::status::kNoMoreItems,
          "a new registry lists no other value");
      index = 0;
      for (const auto& subkey : expected->subkeys()) {
        name_length = static_cast<std::uint32_t>(name.size());
        Check(
            reader.EnumKeyEx(key, index++, name.data(), &name_length, nullptr,
                             nullptr, nullptr) == registry::status::kSuccess &&
                std::string_view(name.data(), name_length) == subkey->name(),
            "a new registry lists every subkey, in order");
        pending.emplace_back(subkey.get(), path.empty()
                                               ? subkey->name()
                                               : path + "\\" + subkey->name());
      }
      name_length = static_cast<std::uint32_t>(name.size());
      Check(
          reader.EnumKeyEx(key, index, name.data(), &name_length, nullptr,
                           nullptr, nullptr) == registry::status::kNoMoreItems,
          "a new registry lists no other subkey");
      if (key != kHklm) reader.CloseKey(key);
    }
  }

  registry::LocalRegistry local_;
  registry::MemoryRegistry model_;
  std::vector<char> name_buffer_ = std::vector<char>(1 << 16);
  std::array<Pair, 4> slots_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::error_code error;
  fs::remove_all(Prefix() / "registry", error);
  Input in(std::span(data, size));
  {
    Session session;
    while (!in.empty()) session.Step(in);
  }
  fs::remove_all(Prefix() / "registry", error);
  return 0;
}
