// The products that quillprobe knows, and where their records are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillprobe::app {

struct Product {
  std::string_view record_subkey;  // below the vendor key
  std::string_view executable_name;
};

// The row of the product table for `number`, if it has one.
std::optional<Product> FindProduct(std::int32_t number);

// The key path of the product record below HKEY_LOCAL_MACHINE, or empty text
// for a number without a row.
std::string GetProductKey(std::int32_t product_number);

}  // namespace quillprobe::app
