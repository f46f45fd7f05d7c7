#include "tests/support/workflow_rig.h"

FirmwareImage TestImage(size_t blocks, const std::string& version) {
    FirmwareImage image;
    image.path = L"C:\\firmware\\test.bin";
    image.bytes.resize(blocks * FirmwareBlockSize);
    for (size_t i = 0; i < image.bytes.size(); ++i) image.bytes[i] = static_cast<uint8_t>(i * 7 + i / FirmwareBlockSize);
    image.crc32 = Crc32(image.bytes.data(), image.bytes.size());
    image.version = version;
    return image;
}
