#pragma once
// The texts the window shows in more than one place, so that each is written once.

// The step indicator's labels, steps 1 to 3.
inline constexpr const wchar_t* kStepLabels[] = {L"1. Подключение", L"2. Проверка", L"3. Обновление"};

// Cancel's caption on the check and update pages.
inline constexpr const wchar_t* kCancelUpdateText = L"Отменить обновление";

// The update page's heading, and the title of the box that refuses to close during an update.
inline constexpr const wchar_t* kUpdateRunningText = L"Обновление выполняется";
// The done page's heading, and the balloon's title after a success.
inline constexpr const wchar_t* kUpdateDoneText = L"Обновление завершено";
// The title of the box and of the balloon after a cancel.
inline constexpr const wchar_t* kUpdateCancelledText = L"Обновление отменено";
