#include "registry/hive.h"

#include <utility>
#include <variant>

#include "registry/reg_file_writer.h"
#include "registry/reg_import.h"

namespace quillprobe::registry {

Hive::Hive(std::filesystem::path path, std::string root_name)
    : file_(std::move(path)), root_name_(std::move(root_name)) {}

Status Hive::Refresh() {
  HiveFileStamp now;
  if (const Status looked = file_.Stat(&now, &read_only_);
      looked != status::kSuccess) {
    error_ = ParseError{path().string(), 0, file_.last_error()};
    Drop();
    return looked;
  }
  if (loaded_ && now == stamp_) {
    return error_ ? status::kBadDb : status::kSuccess;
  }
  return Load();
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
}

Status Hive::BeginChange() {
  if (const Status fresh = Refresh(); fresh != status::kSuccess) return fresh;
  if (read_only_) return status::kAccessDenied;
  if (const Status locked = file_.Lock(); locked != status::kSuccess) {
    return locked;
  }
  Status fresh = Refresh();
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
    } else {
      Drop();
    }
  }
  file_.Unlock();
  return saved;
}

}  // namespace quillprobe::registry
