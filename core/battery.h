#pragma once
// The lowest battery voltage an update may start with, and how the user reads it: the Start
// rule, the check page and the update's own check before it enters update mode all use these.

#include <string>

constexpr double kLowestUpdateVolts = 3.9;
constexpr const wchar_t* kLowestUpdateVoltsText = L"3,90 В";

// Volts with two decimals after a full stop, cut and never rounded, so that 3.896 V reads 3.89
// beside its cross; cut from the shortest decimal that reads back as the same double, so that
// 3.9 reads 3.90 and not 3.89.
std::string VoltsToHundredths(double volts);
