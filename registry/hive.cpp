#include "registry/hive.h"

#include <algorithm>
#include <fstream>
#include <utility>
#include <variant>
#include <vector>

#include "registry/canonical_hive.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace quillprobe::registry {

Hive::Hive(std::filesystem::path path, std::string root_name)
    : file_(std::move(path)), root_name_(std::move(root_name)) {}

namespace {

// The bytes of the file a HiveFile holds.
class HeldBytes final : public HiveBytes {
 public:
  HeldBytes(HiveFile& file, std::uint64_t size) : file_(file), size_(size) {}
  std::uint64_t size() const override { return size_; }
  bool Read(std::uint64_t offset, std::size_t length,
            std::string* bytes) override {
    if (offset >= size_) {
      bytes->clear();
      return true;
    }
    const auto left = static_cast<std::size_t>(
        std::min<std::uint64_t>(length, size_ - offset));
    return file_.ReadAt(offset, left, bytes);
  }

 private:
  HiveFile& file_;
  std::uint64_t size_;
};

// What <hive>.canonical holds for a file with `stamp` that this system wrote.
std::string CanonicalRecord(const HiveFileStamp& stamp) {
  return "canonical " + std::to_string(stamp.device) + " " +
         std::to_string(stamp.inode) + " " + std::to_string(stamp.size) + " " +
         std::to_string(stamp.modified_ns) + "\n";
}

}  // namespace

Status Hive::Refresh() { return Update(false); }

Status Hive::Update(bool whole) {
  HiveFileStamp now;
  if (const Status looked = file_.Stat(&now, &read_only_);
      looked != status::kSuccess) {
    error_ = ParseError{path().string(), 0, file_.last_error()};
    Drop();
    return looked;
  }
  if (loaded_ && now == stamp_ && !(whole && lazy_)) {
    return error_ ? status::kBadDb : status::kSuccess;
  }
  if (!whole && now.exists && KnownCanonical(now)) return LoadLazily(now);
  return Load();
}

Status Hive::LoadLazily(const HiveFileStamp& stamp) {
  HiveFileStamp opened;
  if (const Status open = file_.Open(&opened); open != status::kSuccess) {
    error_ = ParseError{path().string(), 0, file_.last_error()};
    Drop();
    return open;
  }
  // Replaced since it was looked at: only the file held now counts.
  if (!(opened == stamp) && !KnownCanonical(opened)) return Load();
  ++generation_;
  loaded_ = true;
  lazy_ = true;
  read_keys_.clear();
  stamp_ = opened;
  error_.reset();
  tree_ = Key::NewRoot(root_name_);
  if (!ReadKey(*tree_)) {
    distrusted_ = stamp_;
    return Load();
  }
  return status::kSuccess;
}

bool Hive::ReadKey(Key& key) {
  std::vector<std::string> key_path;
  for (const Key* k = &key; k != nullptr; k = k->parent()) {
    key_path.push_back(k->name());
  }
  std::reverse(key_path.begin(), key_path.end());
  HeldBytes bytes(file_, stamp_.size);
  const auto read = ReadCanonicalKey(bytes, key_path);
  if (!read) return false;
  for (const RegValueLine& value : read->values) {
    key.SetValue(value.name, value.type, value.data);
  }
  for (const std::string& name : read->subkeys) key.AddSubkey(name, "");
  read_keys_.insert(&key);
  return true;
}

Key* Hive::FindSubkey(Key& parent, std::string_view name) {
  Key* const child = parent.FindSubkey(name);
  if (child == nullptr || !lazy_ || read_keys_.contains(child)) return child;
  if (ReadKey(*child)) return child;
  // The file is not what its record says. The next call parses it whole,
  // and says 1009 if it does not parse; this walk ends here.
  distrusted_ = stamp_;
  loaded_ = false;
  return nullptr;
}

bool Hive::KnownCanonical(const HiveFileStamp& stamp) const {
  if (stamp == distrusted_) return false;
  std::ifstream in(path().string() + ".canonical", std::ios::binary);
  const std::string expected = CanonicalRecord(stamp);
  std::string record(expected.size() + 1, '\0');
  in.read(record.data(), static_cast<std::streamsize>(record.size()));
  record.resize(static_cast<std::size_t>(in.gcount()));
  return record == expected;
}

void Hive::RecordCanonical(const HiveFileStamp& stamp) const {
  // Losing the record costs only speed: the file is then parsed whole.
  std::ofstream out(path().string() + ".canonical",
                    std::ios::binary | std::ios::trunc);
  out << CanonicalRecord(stamp);
}

Status Hive::Load() {
  std::string bytes;
  HiveFileStamp stamp;
  if (const Status read = file_.Read(&bytes, &stamp);
      read != status::kSuccess) {
    error_ = ParseError{path().string(), 0, file_.last_error()};
    Drop();
    return read;
  }
  ++generation_;
  loaded_ = true;
  lazy_ = false;
  read_keys_.clear();
  stamp_ = stamp;
  if (!stamp.exists) {
    tree_ = Key::NewRoot(root_name_);
    error_.reset();
    return status::kSuccess;
  }
  auto loaded = LoadHiveText(bytes, root_name_, path().string());
  if (auto* error = std::get_if<ParseError>(&loaded)) {
    tree_.reset();
    error_ = std::move(*error);
    return status::kBadDb;
  }
  tree_ = std::move(std::get<std::shared_ptr<Key>>(loaded));
  error_.reset();
  return status::kSuccess;
}

void Hive::Drop() {
  if (tree_ != nullptr) ++generation_;
  tree_.reset();
  loaded_ = false;
  lazy_ = false;
  read_keys_.clear();
}

Status Hive::BeginChange() {
  // A read-only hive is refused without taking its lock. Otherwise the hive
  // is loaded under the lock only, so that a writer waiting for another does
  // not load the file twice.
  HiveFileStamp now;
  bool read_only = false;
  if (file_.Stat(&now, &read_only) == status::kSuccess && read_only) {
    const Status fresh = Refresh();
    return fresh != status::kSuccess ? fresh : status::kAccessDenied;
  }
  if (const Status locked = file_.Lock(); locked != status::kSuccess) {
    return locked;
  }
  // A change is made to the whole tree, and saved whole.
  Status fresh = Update(true);
  if (fresh == status::kSuccess && read_only_) fresh = status::kAccessDenied;
  if (fresh != status::kSuccess) file_.Unlock();
  return fresh;
}

Status Hive::EndChange(bool changed) {
  Status saved = status::kSuccess;
  if (changed) {
    HiveFileStamp stamp;
    saved = file_.Replace(
        WriteRegFile(*tree_, static_cast<std::size_t>(stamp_.size) + 4096),
        &stamp);
    if (saved == status::kSuccess) {
      stamp_ = stamp;
      RecordCanonical(stamp);
    } else {
      Drop();
    }
  }
  file_.Unlock();
  return saved;
}

}  // namespace quillprobe::registry
