#include <gtest/gtest.h>

#include <string>

#include "firmware/firmware_image.h"

namespace {

uint32_t CrcOf(const std::string& text) { return Crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

TEST(Crc32, StandardCheckValues) {
    EXPECT_EQ(0xCBF43926u, CrcOf("123456789"));
    EXPECT_EQ(0x00000000u, CrcOf(""));
    EXPECT_EQ(0x414FA339u, CrcOf("The quick brown fox jumps over the lazy dog"));
}

TEST(Crc32, ContinuesAcrossPieces) {
    const std::string text = "123456789";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    EXPECT_EQ(0xCBF43926u, Crc32(bytes + 4, 5, Crc32(bytes, 4)));
}

} // namespace
