#include "app/product_table.h"

namespace quillprobe::app {
namespace {

constexpr std::string_view kVendorKey = "SOFTWARE\\Quillmere Software\\";

}  // namespace

std::optional<Product> FindProduct(std::int32_t number) {
  switch (number) {
    case 1:
      return Product{"Tarnwick\\Path", "tarn.exe"};
    case 2:
      return Product{"Vesperine\\Path", "vesperin.exe"};
    default:
      return std::nullopt;
  }
}

std::string GetProductKey(std::int32_t product_number) {
  const auto product = FindProduct(product_number);
  if (!product) return {};
  return std::string(kVendorKey) + std::string(product->record_subkey);
}

}  // namespace quillprobe::app
