#pragma once
// What each page shows, control by control: rectangle, visibility and text.

#include "tests/wine/ui_harness.h"
#include "ui/main_window.h"

constexpr const wchar_t* kKeepText = nullptr; // the page does not fix this text

inline const ExpectedControl kConnectPage[] = {
    {IDC_HEADING, {790, 245, 540, 52}, true, L"Подключите дата-станцию"},
    {IDC_DESCRIPTION, {790, 310, 540, 90}, true,
     L"Подключите дата-станцию к компьютеру. После её обнаружения установите прибор на дата-станцию."},
    {IDC_STATUS1, {800, 425, 520, 42}, true, L"○  Поиск дата-станции…"},
    {IDC_STATUS2, {800, 480, 520, 42}, true, L"○  Ожидание прибора"},
    {IDC_STATUS3, {800, 535, 520, 42}, false, L""},
    {IDC_STATUS4, {800, 590, 520, 42}, false, L""},
    {IDC_STATUS5, {800, 645, 520, 42}, false, L""},
    {IDC_NOTE, {780, 810, 560, 100}, true,
     L"Важно\r\nПрибор должен быть заряжен и оставаться на станции до полного завершения."},
};
inline const int kHiddenOnConnect[] = {IDC_FILE_BOX,  IDC_CHOOSE_FILE, IDC_ACCEPT_RISK,    IDC_START,
                                       IDC_CANCEL,    IDC_PROGRESS,    IDC_NEXT_INSTRUMENT};

inline const ExpectedControl kCheckPage[] = {
    {IDC_HEADING, {790, 245, 540, 52}, true, L"Проверка перед обновлением"},
    {IDC_DESCRIPTION, {790, 310, 540, 65}, true, L"Программа проверила подключение и готовность прибора."},
    {IDC_STATUS1, {800, 380, 520, 40}, true, L"✓  Прибор подключён"},
    {IDC_STATUS2, {800, 423, 520, 40}, true, L"✓  Напряжение аккумулятора: 4.10 В"},
    {IDC_STATUS3, {800, 466, 520, 40}, true, L"✓  Минимально допустимое напряжение: 3,90 В"},
    {IDC_STATUS4, {800, 509, 520, 40}, true, L"✓  Механизм DFWU доступен"},
    {IDC_STATUS5, {800, 552, 520, 40}, false, L""},
    {IDC_FILE_BOX, {800, 570, 295, 50}, true, L"Файл прошивки не выбран"},
    {IDC_CHOOSE_FILE, {1110, 570, 210, 50}, true, L"Выбрать другой файл"},
    {IDC_ACCEPT_RISK, {800, 645, 520, 38}, true, L"Я понимаю возможные риски и хочу продолжить"},
    {IDC_START, {800, 695, 520, 46}, true, L"Начать обновление"},
    {IDC_CANCEL, {800, 755, 520, 46}, true, L"Отменить обновление"},
    {IDC_NOTE, {780, 815, 560, 100}, true,
     L"Внимание\r\nВо время обновления не снимайте прибор с дата-станции и не отключайте кабель."},
    {IDC_PROGRESS, {790, 350, 540, 22}, false, kKeepText},
    {IDC_NEXT_INSTRUMENT, {800, 860, 520, 46}, false, kKeepText},
};

inline const ExpectedControl kUpdatePage[] = {
    {IDC_HEADING, {790, 245, 540, 52}, true, L"Обновление выполняется"},
    {IDC_DESCRIPTION, {790, 310, 540, 70}, true, L"Пожалуйста, дождитесь завершения процесса."},
    {IDC_PROGRESS, {800, 390, 520, 32}, true, kKeepText},
    {IDC_STATUS1, {800, 445, 520, 40}, true, L"○  Подключение к прибору"},
    {IDC_STATUS2, {800, 489, 520, 40}, true, L"○  Переход в режим обновления"},
    {IDC_STATUS3, {800, 533, 520, 40}, true, L"○  Передача прошивки"},
    {IDC_STATUS4, {800, 577, 520, 40}, true, L"○  Проверка и перезапуск"},
    {IDC_STATUS5, {800, 621, 520, 40}, true, L""},
    {IDC_NOTE, {780, 710, 560, 105}, true,
     L"НЕ СНИМАЙТЕ ПРИБОР С ДАТА-СТАНЦИИ\r\nНе отключайте кабель и не закрывайте программу."},
    // Shown, below the note, so that the update can be cancelled between blocks.
    {IDC_CANCEL, {800, 830, 520, 46}, true, L"Отменить обновление"},
    {IDC_FILE_BOX, {800, 570, 295, 50}, false, L"Файл прошивки не выбран"},
    {IDC_CHOOSE_FILE, {1110, 570, 210, 50}, false, kKeepText},
    {IDC_ACCEPT_RISK, {800, 645, 520, 38}, false, kKeepText},
    {IDC_START, {800, 695, 520, 46}, false, kKeepText},
    {IDC_NEXT_INSTRUMENT, {800, 860, 520, 46}, false, kKeepText},
};

inline const ExpectedControl kDonePage[] = {
    {IDC_HEADING, {790, 270, 540, 58}, true, L"Обновление завершено"},
    {IDC_DESCRIPTION, {790, 345, 540, 100}, true, L"Прошивка успешно обновлена до версии 1.2.3."},
    {IDC_NOTE, {780, 735, 560, 110}, true, L"Прошивка успешно обновлена\r\nТеперь прибор можно снять с дата-станции."},
    {IDC_PROGRESS, {800, 390, 520, 32}, false, kKeepText},
    {IDC_CANCEL, {800, 830, 520, 46}, false, kKeepText},
    {IDC_STATUS1, {800, 445, 520, 40}, true, L"✓  Подключение к прибору"},
    {IDC_STATUS5, {800, 621, 520, 40}, true, L"✓  Прибор повторно подключён"},
    {IDC_FILE_BOX, {800, 570, 295, 50}, false, kKeepText},
    {IDC_START, {800, 695, 520, 46}, false, kKeepText},
    {IDC_NEXT_INSTRUMENT, {800, 860, 520, 46}, true, L"Обновить следующий прибор"},
};
