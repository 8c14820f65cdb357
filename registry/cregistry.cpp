#include "registry/cregistry.h"

#include "registry/cregistry_internal.h"
#include "registry/platform_registry.h"
#include "registry/raised_error.h"

namespace quillprobe::registry {

using namespace internal;

CRegistry::CRegistry(RegistryApi& api, MessageBoxSink& message_box)
    : api_(api), message_box_(message_box), asValues_(1), asSubKeys_(1) {
  root(kHkeyLocalMachine);
}

CRegistry::CRegistry() : CRegistry(PlatformRegistry(), PlatformMessageBox()) {}

CRegistry::~CRegistry() { CloseKey(); }

HKey CRegistry::RootKey() const {
  return static_cast<HKey>(static_cast<std::uint32_t>(lRoot_));
}

// ---- Properties -----------------------------------------------------------

void CRegistry::Default(std::string_view strKeyString) {
  sDefault_ = strKeyString;
}

void CRegistry::ValueCount(std::int16_t /*vl*/) {
  throw RaisedError(kErrorLetNotAvailable, "CRegistry.Let ValueCount",
                    "The Let Property is not available");
}

void CRegistry::key(std::string_view vData) {
  sKey_ = vData;
  GetKeyInfo();
}

void CRegistry::root(std::int32_t vData) {
  lRoot_ = vData;
  try {
    OpenKey(kAccessSnapshot);
  } catch (const std::exception&) {
    // Setting the root never fails; the next operation meets the problem.
  }
}

// ---- Key handles ----------------------------------------------------------

bool CRegistry::OpenKey(std::uint32_t access_mask) {
  if (sKey_.empty() || lRoot_ == 0) {
    CloseKey();
    return false;
  }
  CloseKey();
  if (bAutoCreate_) {
    const std::int16_t disposition = CreateEx();
    return disposition == 1 || disposition == 2;
  }
  HKey opened = kNoKey;
  if (api_.OpenKeyEx(RootKey(), sKey_, 0, access_mask, &opened) !=
      status::kSuccess) {
    return false;
  }
  hKey_ = opened;
  return true;
}

std::int16_t CRegistry::CreateEx() {
  Status code = status::kSuccess;
  try {
    const SecurityAttributes security{12, true};
    std::uint32_t disposition = 0;
    HKey created = kNoKey;
    code = api_.CreateKeyEx(RootKey(), sKey_, "1", 0, kAccessAll, &security,
                            &created, &disposition);
    if (code == status::kBadKey) {
      throw RaisedError(kErrorCannotOpenKey, "CreateEx",
                        "Cannot Open Parent Key");
    }
    if (code != status::kSuccess) {
      throw RaisedError(kErrorUnknown, "CreateEx",
                        "Unknown Error: " + std::to_string(code));
    }
    hKey_ = created;
    if (disposition > static_cast<std::uint32_t>(kMaxCount)) {
      throw OverflowError();
    }
    return static_cast<std::int16_t>(disposition);
  } catch (const RaisedError& error) {
    if (error.Source() == "CreateEx") throw;
    throw RaisedError(kErrorUnknown, "CreateEx",
                      "Unknown Error: " + std::to_string(code));
  } catch (const std::exception&) {
    throw RaisedError(kErrorUnknown, "CreateEx",
                      "Unknown Error: " + std::to_string(code));
  }
}

void CRegistry::CloseKey() {
  if (hKey_ == kNoKey) return;
  api_.CloseKey(hKey_);
  hKey_ = kNoKey;
}

}  // namespace quillprobe::registry
