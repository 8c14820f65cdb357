#include "registry/hive.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <utility>
#include <variant>
#include <vector>

#include "registry/canonical_hive.h"
#include "registry/hive_journal.h"
#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace quillprobe::registry {

Hive::Hive(std::filesystem::path path, std::string root_name)
    : file_(std::move(path)), root_name_(std::move(root_name)) {}

namespace {

constexpr std::string_view kRegHeader =
    "Windows Registry Editor Version 5.00\n\n";

// Journal records are folded into the canonical text once they are longer
// than the text, but never before they reach the lower bound (rewriting a
// small file for each change gains nothing) and always past the upper one
// (every load of the file applies them all).
constexpr std::uint64_t kMinJournal = 64 * 1024;
constexpr std::uint64_t kMaxJournal = 512 * 1024;

// The bytes of the file a HiveFile holds, up to `size`.
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

// The start of what <hive>.canonical holds for a file with `stamp`; the
// length of the canonical text follows.
std::string CanonicalRecordStart(const HiveFileStamp& stamp) {
  return "canonical " + std::to_string(stamp.device) + " " +
         std::to_string(stamp.inode) + " " + std::to_string(stamp.size) + " " +
         std::to_string(stamp.modified_ns) + " ";
}

}  // namespace

Status Hive::Refresh() { return Update(false); }

Status Hive::Update(bool locked) {
  HiveFileStamp now;
  if (const Status looked = file_.Stat(&now, &read_only_);
      looked != status::kSuccess) {
    return FileFailed(looked);
  }
  if (loaded_ && now == stamp_) {
    return error_ ? status::kBadDb : status::kSuccess;
  }
  if (now.exists) {
    if (const auto lazily = LoadLazily(locked)) return *lazily;
  }
  return Load();
}

std::optional<Status> Hive::LoadLazily(bool locked) {
  for (int look = 0;; ++look) {
    HiveFileStamp opened;
    if (const Status open = file_.Open(&opened); open != status::kSuccess) {
      return FileFailed(open);
    }
    if (!opened.exists) return std::nullopt;
    if (const auto base = CanonicalBase(opened)) {
      return ReadLazily(opened, *base);
    }
    // A writer may have appended a record and not yet vouched for it; only
    // one that holds the lock can be doing that.
    if (locked || look == 1) return std::nullopt;
    file_.WaitForWriter();
  }
}

std::optional<Status> Hive::ReadLazily(const HiveFileStamp& stamp,
                                       std::uint64_t base) {
  std::string journal;
  const auto journal_length = static_cast<std::size_t>(stamp.size - base);
  if (!file_.ReadAt(base, journal_length, &journal) ||
      journal.size() != journal_length) {
    return std::nullopt;
  }
  const auto records = ReadJournalRecords(journal);
  if (!records) {
    distrusted_ = stamp;
    return std::nullopt;
  }
  ++generation_;
  loaded_ = true;
  lazy_ = true;
  stamp_ = stamp;
  base_ = base;
  journal_end_ = base + records->end;
  error_.reset();
  tree_ = Key::NewRoot(root_name_);
  tree_->set_unread(true);
  if (!ReadKey(*tree_)) {
    distrusted_ = stamp_;
    return std::nullopt;
  }
  if (!records->bodies.empty()) {
    std::string text(kRegHeader);
    for (const std::string_view body : records->bodies) text += body;
    const auto error =
        ApplyHiveText(text, *tree_, path().string(),
                      [this](Key& parent, std::string_view name) {
                        return FindSubkey(parent, name);
                      });
    if (error || distrusted_ == stamp_) {
      distrusted_ = stamp_;
      return std::nullopt;
    }
  }
  return status::kSuccess;
}

bool Hive::ReadKey(Key& key) {
  std::vector<std::string> key_path;
  for (const Key* k = &key; k != nullptr; k = k->parent()) {
    key_path.push_back(k->name());
  }
  std::reverse(key_path.begin(), key_path.end());
  HeldBytes bytes(file_, base_.value_or(0));
  const auto read = ReadCanonicalKey(bytes, key_path);
  if (!read) return false;
  for (const RegValueLine& value : read->values) {
    key.SetValue(value.name, value.type, value.data);
  }
  for (const std::string& name : read->subkeys) {
    key.AddSubkey(name, "").set_unread(true);
  }
  key.set_unread(false);
  return true;
}

Key* Hive::FindSubkey(Key& parent, std::string_view name) {
  Key* const child = parent.FindSubkey(name);
  if (child == nullptr || !child->unread()) return child;
  if (ReadKey(*child)) return child;
  // The file is not what its record says. The next call parses it whole,
  // and says 1009 if it does not parse; this walk ends here.
  distrusted_ = stamp_;
  loaded_ = false;
  return nullptr;
}

std::optional<std::uint64_t> Hive::CanonicalBase(
    const HiveFileStamp& stamp) const {
  if (stamp == distrusted_) return std::nullopt;
  std::ifstream in(path().string() + ".canonical", std::ios::binary);
  const std::string start = CanonicalRecordStart(stamp);
  std::string record(start.size() + 24, '\0');
  in.read(record.data(), static_cast<std::streamsize>(record.size()));
  record.resize(static_cast<std::size_t>(in.gcount()));
  // Records written before the file could hold journal records end with
  // the stamp: all of such a file is canonical text.
  if (record.size() == start.size() && record.back() == '\n' &&
      record.compare(0, start.size() - 1, start, 0, start.size() - 1) == 0) {
    return stamp.size;
  }
  if (!record.starts_with(start) || !record.ends_with('\n')) {
    return std::nullopt;
  }
  std::uint64_t base = 0;
  const char* const first = record.data() + start.size();
  const char* const last = record.data() + record.size() - 1;
  const auto [end, error] = std::from_chars(first, last, base);
  if (error != std::errc{} || end != last || base > stamp.size) {
    return std::nullopt;
  }
  return base;
}

void Hive::RecordCanonical(const HiveFileStamp& stamp,
                           std::uint64_t base) const {
  // Losing the record costs only speed: the file is then parsed whole.
  std::ofstream out(path().string() + ".canonical",
                    std::ios::binary | std::ios::trunc);
  out << CanonicalRecordStart(stamp) << base << '\n';
}

Status Hive::Load() {
  std::string bytes;
  HiveFileStamp stamp;
  if (const Status read = file_.Read(&bytes, &stamp);
      read != status::kSuccess) {
    return FileFailed(read);
  }
  ++generation_;
  loaded_ = true;
  lazy_ = false;
  base_.reset();
  stamp_ = stamp;
  if (!stamp.exists) {
    tree_ = Key::NewRoot(root_name_);
    error_.reset();
    journal_end_ = 0;
    return status::kSuccess;
  }
  std::size_t damaged_line = 0;
  const std::size_t length = UntornLength(bytes, &damaged_line);
  if (damaged_line != 0) {
    tree_.reset();
    error_ = ParseError{path().string(), damaged_line,
                        "a journal record that does not match its checksum"};
    return status::kBadDb;
  }
  auto loaded = LoadHiveText(std::string_view(bytes).substr(0, length),
                             root_name_, path().string());
  if (auto* error = std::get_if<ParseError>(&loaded)) {
    tree_.reset();
    error_ = std::move(*error);
    return status::kBadDb;
  }
  tree_ = std::move(std::get<std::shared_ptr<Key>>(loaded));
  error_.reset();
  journal_end_ = length;
  base_ = CanonicalBase(stamp);
  return status::kSuccess;
}

Status Hive::FileFailed(Status failure) {
  error_ = ParseError{path().string(), 0, file_.last_error()};
  Drop();
  return failure;
}

void Hive::Drop() {
  if (tree_ != nullptr) ++generation_;
  tree_.reset();
  loaded_ = false;
  lazy_ = false;
  base_.reset();
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
  Status fresh = Update(true);
  if (fresh == status::kSuccess && read_only_) fresh = status::kAccessDenied;
  if (fresh != status::kSuccess) file_.Unlock();
  return fresh;
}

Status Hive::EndChange(const TreeChange* change) {
  Status saved = status::kSuccess;
  if (change != nullptr) saved = base_ ? Append(*change) : Rewrite();
  file_.Unlock();
  return saved;
}

Status Hive::Append(const TreeChange& change) {
  const std::string record =
      FrameJournalRecord(WriteRegChange(root_name_, change));
  HiveFileStamp stamp;
  if (const Status appended =
          file_.Append(journal_end_, record, stamp_, &stamp);
      appended != status::kSuccess) {
    Drop();
    return appended;
  }
  stamp_ = stamp;
  journal_end_ += record.size();
  RecordCanonical(stamp, *base_);
  const std::uint64_t journal = journal_end_ - *base_;
  if (journal > std::clamp(*base_, kMinJournal, kMaxJournal)) Fold();
  return status::kSuccess;
}

void Hive::Fold() {
  // The change is durable already: folding is for speed only, and when it
  // fails the records stay until the next change tries again. The tree in
  // use stays as it is either way: the caller may still hold keys of it.
  if (!lazy_) {
    WriteWhole(*tree_);
    return;
  }
  std::string bytes;
  HiveFileStamp stamp;
  if (file_.Read(&bytes, &stamp) != status::kSuccess || !(stamp == stamp_)) {
    return;
  }
  std::size_t damaged_line = 0;
  const std::size_t length = UntornLength(bytes, &damaged_line);
  if (damaged_line != 0) return;
  const auto whole = LoadHiveText(std::string_view(bytes).substr(0, length),
                                  root_name_, path().string());
  bytes = std::string();
  if (const auto* tree = std::get_if<std::shared_ptr<Key>>(&whole)) {
    // The keys still unread are then read from the new file, which holds
    // them as the old one did.
    WriteWhole(**tree);
  }
}

Status Hive::Rewrite() {
  // Writing a tree that is not all read would lose what is not; only a tree
  // that holds nothing but what the file holds (see Append) is read lazily.
  if (lazy_) return status::kRegistryIoFailed;
  const Status saved = WriteWhole(*tree_);
  if (saved != status::kSuccess) Drop();
  return saved;
}

Status Hive::WriteWhole(const Key& tree) {
  HiveFileStamp stamp;
  const Status saved = file_.Replace(
      WriteRegFile(tree, static_cast<std::size_t>(stamp_.size) + 4096), &stamp);
  if (saved != status::kSuccess) return saved;
  stamp_ = stamp;
  base_ = stamp.size;
  journal_end_ = stamp.size;
  RecordCanonical(stamp, stamp.size);
  return status::kSuccess;
}

}  // namespace quillprobe::registry
