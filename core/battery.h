#pragma once
// The lowest battery voltage an update may start with, and how the user reads it: the Start
// rule, the check page and the update's own check before it enters update mode all use these.

constexpr double kLowestUpdateVolts = 3.9;
constexpr const wchar_t* kLowestUpdateVoltsText = L"3,90 В";
