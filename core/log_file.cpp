#include "core/log_file.h"

bool IsLinkReparseTag(uint32_t tag) {
    constexpr uint32_t kNameSurrogate = 0x20000000;
    return (tag & kNameSurrogate) != 0;
}
