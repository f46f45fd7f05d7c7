#include "core/battery.h"

#include <charconv>

std::string VoltsToHundredths(double volts) {
    char digits[400];
    const std::to_chars_result shortest = std::to_chars(digits, digits + sizeof(digits), volts,
                                                        std::chars_format::fixed);
    std::string number(digits, shortest.ptr);
    if (number.find('.') == std::string::npos) number += '.';
    number.resize(number.find('.') + 3, '0');
    return number;
}
