#include "app/product_table.h"

#include <gtest/gtest.h>

namespace quillprobe::app {
namespace {

TEST(ProductTableTest, KnownProductsHaveRecordKeys) {
  EXPECT_EQ(GetProductKey(1), "SOFTWARE\\Quillmere Software\\Tarnwick\\Path");
  EXPECT_EQ(GetProductKey(2), "SOFTWARE\\Quillmere Software\\Vesperine\\Path");
  EXPECT_EQ(FindProduct(1)->executable_name, "tarn.exe");
  EXPECT_EQ(FindProduct(2)->executable_name, "vesperin.exe");
}

TEST(ProductTableTest, OtherNumbersHaveNoRow) {
  for (const std::int32_t n : {0, 3, -1, 12, 2147483647}) {
    EXPECT_EQ(GetProductKey(n), "") << n;
    EXPECT_FALSE(FindProduct(n).has_value()) << n;
  }
}

}  // namespace
}  // namespace quillprobe::app
