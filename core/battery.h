#pragma once
// The lowest battery voltage an update may start with: the Start rule, the check page's mark
// and the update's own check before it enters update mode all use it.
constexpr double kLowestUpdateVolts = 3.9;
