#include "firmware/firmware_image.h"

#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#include "firmware/firmware_file.h"
#include "firmware/firmware_version.h"

namespace {

constexpr char kBadExtension[] = "Firmware file must have .bin extension";
constexpr char kCannotOpen[] = "Cannot open firmware file";
constexpr char kCannotRead[] = "Cannot read firmware file";
constexpr char kEmpty[] = "Firmware file is empty";
constexpr char kTooLarge[] = "Firmware file is too large";
constexpr uint8_t kPadding = 0xFF;

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, CloseFile>;

// Only ".bin" and ".BIN" count; a leading dot of the name is not an extension.
bool HasBinExtension(const std::wstring& path) {
    const std::wstring name = FileNamePart(path);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    const std::wstring extension = name.substr(dot);
    return extension == L".bin" || extension == L".BIN";
}

size_t WholeBlocks(uint64_t size) {
    constexpr uint64_t kLargest = std::numeric_limits<size_t>::max() - 2 * FirmwareBlockSize;
    if (size > kLargest) throw std::bad_alloc();
    return static_cast<size_t>((size + FirmwareBlockSize - 1) / FirmwareBlockSize * FirmwareBlockSize);
}

// Reads to the end of the file. Fewer bytes than the size the file had when opened means the
// read broke off, and a truncated image must never reach the instrument. A file beyond the
// largest image is refused before it is read, and so is one that grows past it while it is read.
std::vector<uint8_t> ReadWholeFile(const FirmwareFileHooks& layer, std::FILE* file) {
    uint64_t expected = 0;
    if (!layer.size(file, expected)) throw std::runtime_error(kCannotRead);
    if (expected > kLargestFirmwareBytes) throw std::runtime_error(kTooLarge);
    // Room for one byte more than expected lets the same read see the end of the file; the
    // rounding leaves room for the padding.
    std::vector<uint8_t> bytes(WholeBlocks(expected + 1));
    size_t used = 0;
    for (;;) {
        const size_t wanted = bytes.size() - used;
        const size_t got = layer.read(bytes.data() + used, 1, wanted, file);
        used += got;
        if (got < wanted) break;
        if (used > kLargestFirmwareBytes) throw std::runtime_error(kTooLarge);
        bytes.resize(WholeBlocks(uint64_t{bytes.size()} * 2)); // the file grew since it was opened
    }
    if (std::ferror(file) || used < expected) throw std::runtime_error(kCannotRead);
    bytes.resize(used);
    return bytes;
}

} // namespace

FirmwareImage LoadFirmwareImage(const std::wstring& path) {
    if (!HasBinExtension(path)) throw std::runtime_error(kBadExtension);
    const FirmwareFileHooks& layer = CurrentFirmwareFileHooks();
    FileHandle file(layer.open(path));
    if (!file) throw std::runtime_error(kCannotOpen);

    FirmwareImage image;
    image.path = path;
    image.bytes = ReadWholeFile(layer, file.get());
    file.reset();
    if (image.bytes.empty()) throw std::runtime_error(kEmpty);
    image.bytes.resize(WholeBlocks(image.bytes.size()), kPadding);
    image.crc32 = Crc32(image.bytes.data(), image.bytes.size());
    image.version = VersionFromFileName(path);
    return image;
}

uint64_t BlockCount(const FirmwareImage& image) { return image.bytes.size() / FirmwareBlockSize; }

std::string MakeBlockCommand(const FirmwareImage& image, uint64_t index) {
    if (index >= BlockCount(image)) throw std::out_of_range("Firmware block index");
    static constexpr char kHexDigits[] = "0123456789abcdef";
    static constexpr char kPrefix[] = "DUB";
    constexpr size_t kPrefixSize = sizeof(kPrefix) - 1;

    std::string command(kPrefixSize + 2 * FirmwareBlockSize + 1, '\n');
    command.replace(0, kPrefixSize, kPrefix);
    const uint8_t* block = image.bytes.data() + index * FirmwareBlockSize;
    char* out = &command[kPrefixSize];
    for (size_t k = 0; k < FirmwareBlockSize; ++k) {
        *out++ = kHexDigits[block[k] >> 4];
        *out++ = kHexDigits[block[k] & 0x0F];
    }
    return command;
}
