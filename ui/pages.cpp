#include "ui/pages.h"

#include <string>

#include "core/app_state.h"
#include "core/battery.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/version_question.h"
#include "ui/window_helpers.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
// A one-line static: it never wraps, and a text that cannot fit ends in "…".
constexpr DWORD kOneLine = SS_ENDELLIPSIS;

// Created in this order; no tab stops, nothing disabled.
const ChildControl kControls[] = {
    {IDC_TITLE, L"STATIC", kChild | SS_CENTER | kOneLine, L"Обновление прошивки Zarvel Ксарон 4", {345, 29, 760, 66}, HeaderFont},
    {IDC_STEP1, L"STATIC", kChild | SS_LEFT | kOneLine, L"1. Подключение", {220, 139, 220, 38}, StepLabelFont},
    {IDC_STEP2, L"STATIC", kChild | SS_LEFT | kOneLine, L"2. Проверка", {650, 139, 210, 38}, StepLabelFont},
    {IDC_STEP3, L"STATIC", kChild | SS_LEFT | kOneLine, L"3. Обновление", {1080, 139, 250, 38}, StepLabelFont},
    {IDC_HEADING, L"STATIC", kChild | SS_LEFT | kOneLine, L"", {790, 245, 540, 40}, CaptionFont},
    {IDC_DESCRIPTION, L"STATIC", kChild | SS_LEFT, L"", {790, 295, 540, 100}, BaseFont},
    {IDC_STATUS1, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 360, 520, 42}, RowFont},
    {IDC_STATUS2, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 414, 520, 42}, RowFont},
    {IDC_STATUS3, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 468, 520, 42}, RowFont},
    {IDC_STATUS4, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 522, 520, 42}, RowFont},
    {IDC_STATUS5, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 576, 520, 62}, RowFont},
    {IDC_FILE_BOX, L"STATIC", kChild | SS_OWNERDRAW, L"Файл прошивки не выбран", {800, 525, 295, 50}, BaseFont},
    {IDC_CHOOSE_FILE, L"BUTTON", kChild | BS_OWNERDRAW, L"Выбрать другой файл", {1110, 548, 215, 48}, BaseFont},
    {IDC_ACCEPT_RISK, L"BUTTON", kChild | BS_AUTOCHECKBOX, L"Я понимаю возможные риски и хочу продолжить", {755, 620, 570, 36}, BaseFont},
    {IDC_START, L"BUTTON", kChild | BS_OWNERDRAW, L"Начать обновление", {755, 665, 570, 52}, BaseFont},
    {IDC_CANCEL, L"BUTTON", kChild | BS_OWNERDRAW, L"Отменить обновление", {755, 727, 570, 48}, BaseFont},
    {IDC_NEXT_INSTRUMENT, L"BUTTON", kChild | BS_OWNERDRAW, L"Обновить следующий прибор", {800, 860, 520, 46}, BaseFont},
    {IDC_PROGRESS, L"STATIC", kChild | SS_OWNERDRAW, L"", {790, 350, 540, 22}, BaseFont},
    {IDC_NOTE, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 772, 520, 62}, BaseFont},
};

enum class Shown { Keep, Yes, No };

// One control on one page; a null text keeps the current one, move = false keeps the place.
struct PageRow {
    int id;
    bool move;
    PixelBox box;
    Shown shown;
    const wchar_t* text;
    bool enable = false;
};

struct PageLayout {
    int step;
    const PageRow* rows;
    size_t rowCount;
    void (*fillTexts)(); // texts computed from the state, after the fixed ones
    void (*finish)();    // the page's last steps
};

constexpr PixelBox kKeep = {0, 0, 0, 0};

const PageRow kConnectRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Подключите дата-станцию"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 90}, Shown::Yes,
     L"Подключите дата-станцию к компьютеру. После её обнаружения установите прибор на дата-станцию."},
    {IDC_STATUS1, true, {800, 425, 520, 42}, Shown::Yes, L"○  Поиск дата-станции…"},
    {IDC_STATUS2, true, {800, 480, 520, 42}, Shown::Yes, L"○  Ожидание прибора"},
    {IDC_STATUS3, true, {800, 535, 520, 42}, Shown::No, L""},
    {IDC_STATUS4, true, {800, 590, 520, 42}, Shown::No, L""},
    {IDC_STATUS5, true, {800, 645, 520, 42}, Shown::No, L""},
    {IDC_NOTE, true, {780, 810, 560, 100}, Shown::Yes,
     L"Важно\r\nПрибор должен быть заряжен и оставаться на станции до полного завершения."},
    {IDC_FILE_BOX, false, kKeep, Shown::No, nullptr},
    {IDC_CHOOSE_FILE, false, kKeep, Shown::No, nullptr},
    {IDC_ACCEPT_RISK, false, kKeep, Shown::No, nullptr},
    {IDC_START, false, kKeep, Shown::No, nullptr},
    {IDC_CANCEL, false, kKeep, Shown::No, nullptr},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
    {IDC_NEXT_INSTRUMENT, false, kKeep, Shown::No, nullptr},
};

const PageRow kCheckRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Проверка перед обновлением"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 65}, Shown::Yes, L"Программа проверила подключение и готовность прибора."},
    {IDC_STATUS1, true, {800, 380, 520, 40}, Shown::Yes, nullptr}, // the instrument and its version
    {IDC_STATUS2, true, {800, 423, 520, 40}, Shown::Yes, nullptr}, // the battery line
    {IDC_STATUS3, true, {800, 466, 520, 40}, Shown::Yes, nullptr}, // the lowest voltage
    {IDC_STATUS4, true, {800, 509, 520, 40}, Shown::Yes, nullptr}, // the DFWU line
    {IDC_STATUS5, true, {800, 552, 520, 40}, Shown::No, L""},
    {IDC_FILE_BOX, true, {800, 570, 295, 50}, Shown::Yes, nullptr},
    {IDC_CHOOSE_FILE, true, {1110, 570, 210, 50}, Shown::Yes, nullptr},
    {IDC_ACCEPT_RISK, true, {800, 645, 520, 38}, Shown::Yes, nullptr},
    {IDC_START, true, {800, 695, 520, 46}, Shown::Yes, nullptr},
    {IDC_CANCEL, true, {800, 755, 520, 46}, Shown::Yes, L"Отменить обновление", true},
    {IDC_NOTE, true, {780, 815, 560, 100}, Shown::Yes,
     L"Внимание\r\nВо время обновления не снимайте прибор с дата-станции и не отключайте кабель."},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
    {IDC_NEXT_INSTRUMENT, false, kKeep, Shown::No, nullptr},
};

const PageRow kUpdateRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Обновление выполняется"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 70}, Shown::Yes, L"Пожалуйста, дождитесь завершения процесса."},
    {IDC_PROGRESS, true, {800, 390, 520, 32}, Shown::Yes, nullptr},
    {IDC_STATUS1, true, {800, 445, 520, 40}, Shown::Yes, L"○  Подключение к прибору"},
    {IDC_STATUS2, true, {800, 489, 520, 40}, Shown::Yes, L"○  Переход в режим обновления"},
    {IDC_STATUS3, true, {800, 533, 520, 40}, Shown::Yes, L"○  Передача прошивки"},
    {IDC_STATUS4, true, {800, 577, 520, 40}, Shown::Yes, L"○  Проверка и перезапуск"},
    {IDC_STATUS5, true, {800, 621, 520, 40}, Shown::Yes, L""},
    {IDC_NOTE, true, {780, 710, 560, 105}, Shown::Yes,
     L"НЕ СНИМАЙТЕ ПРИБОР С ДАТА-СТАНЦИИ\r\nНе отключайте кабель и не закрывайте программу."},
    {IDC_FILE_BOX, false, kKeep, Shown::No, nullptr},
    {IDC_CHOOSE_FILE, false, kKeep, Shown::No, nullptr},
    {IDC_ACCEPT_RISK, false, kKeep, Shown::No, nullptr},
    {IDC_START, false, kKeep, Shown::No, nullptr},
    // Below the note, which covers the place the check page gives it; cancellable between blocks.
    {IDC_CANCEL, true, {800, 830, 520, 46}, Shown::Yes, L"Отменить обновление", true},
    {IDC_NEXT_INSTRUMENT, false, kKeep, Shown::No, nullptr},
};

// The status lines stay as the update left them; the description is the worker's message.
const PageRow kDoneRows[] = {
    {IDC_HEADING, true, {790, 270, 540, 58}, Shown::Keep, L"Обновление завершено"},
    {IDC_DESCRIPTION, true, {790, 345, 540, 100}, Shown::Keep, nullptr},
    {IDC_NOTE, true, {780, 735, 560, 110}, Shown::Keep,
     L"Прошивка успешно обновлена\r\nТеперь прибор можно снять с дата-станции."},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
    {IDC_CANCEL, false, kKeep, Shown::No, nullptr},
    // Below the note, inside the right card: a service centre goes on to the next instrument.
    {IDC_NEXT_INSTRUMENT, false, kKeep, Shown::Yes, nullptr},
};

bool IsPageTop(int id) { return id == IDC_HEADING || id == IDC_DESCRIPTION; }

void ApplyShown(const PageRow& row) {
    if (row.shown != Shown::Keep) ShowWindow(Control(row.id), row.shown == Shown::Yes ? SW_SHOW : SW_HIDE);
    if (row.enable) EnableWindow(Control(row.id), TRUE);
}

// Heading and description first, then the step labels, texts, places, visibility and the note.
// The order stays: every control has its new text and place before it is shown, so none shows
// for a moment with the last page's text or where it stood.
void ApplyPage(const PageLayout& page) {
    const PageRow* const begin = page.rows;
    const PageRow* const end = page.rows + page.rowCount;
    App().wizardStep = page.step;
    SetControlFont(IDC_HEADING, PageTitleFont);
    SetControlFont(IDC_DESCRIPTION, PageTextFont);
    for (const PageRow* row = begin; row != end; ++row)
        if (row->move && IsPageTop(row->id)) MoveControl(row->id, row->box);
    RefreshStepLabels();
    for (const PageRow* row = begin; row != end; ++row)
        if (row->text != nullptr && row->id != IDC_NOTE) SetControlText(row->id, row->text);
    if (page.fillTexts != nullptr) page.fillTexts();
    for (const PageRow* row = begin; row != end; ++row)
        if (row->move && !IsPageTop(row->id)) MoveControl(row->id, row->box);
    for (const PageRow* row = begin; row != end; ++row) ApplyShown(*row);
    for (const PageRow* row = begin; row != end; ++row)
        if (row->text != nullptr && row->id == IDC_NOTE) SetControlText(row->id, row->text);
    if (page.finish != nullptr) page.finish();
}

template <size_t N>
PageLayout Page(int step, const PageRow (&rows)[N], void (*fillTexts)() = nullptr, void (*finish)() = nullptr) {
    return {step, rows, N, fillTexts, finish};
}

// The monitor published both before it posted the notification that led here.
void FillCheckLines() {
    const AppState& app = App();
    SetControlText(IDC_STATUS1, InstrumentLine(app.instrumentVersion));
    SetControlText(IDC_STATUS2, BatteryLine(app.batteryVoltage));
    SetControlText(IDC_STATUS3, L"✓  Минимально допустимое напряжение: " + std::wstring(kLowestUpdateVoltsText));
    SetControlText(IDC_STATUS4, app.instrumentReady ? L"✓  Механизм DFWU доступен" : L"✕  Механизм DFWU не подтверждён");
}

void ResetProgress() {
    App().progressPercent = 0;
    InvalidateControl(IDC_PROGRESS);
}

// Every control first gets BaseFont, then the one its row names: the base font is the window's
// own for every control, the row's replaces it where the design names another.
void CreateControl(HWND window, const ChildControl& row) {
    HWND control = CreateChildControl(window, row);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(BaseFont)), TRUE);
    GiveFont(control, row.font);
}

} // namespace

void CreateWizardControls(HWND window) {
    for (const ChildControl& row : kControls) CreateControl(window, row);
}

void RefreshStepLabels() {
    // Always the same three texts: setting them is what has each label drawn again in the
    // colour of the new step.
    SetControlText(IDC_STEP1, L"1. Подключение");
    SetControlText(IDC_STEP2, L"2. Проверка");
    SetControlText(IDC_STEP3, L"3. Обновление");
    InvalidateRect(MainWindow(), nullptr, FALSE);
}

void ShowConnectPage() { ApplyPage(Page(1, kConnectRows)); }

void ShowCheckPage() { ApplyPage(Page(2, kCheckRows, FillCheckLines, UpdateStartButton)); }

void ShowUpdatePage() { ApplyPage(Page(3, kUpdateRows, nullptr, ResetProgress)); }

void ShowDonePage(const std::wstring& message) {
    ApplyPage(Page(4, kDoneRows));
    SetControlText(IDC_DESCRIPTION, message);
}

void ShowStatusLine(int line, const std::wstring& text) {
    const int id = IDC_STATUS1 + line - 1;
    SetControlText(id, text);
    // There it names the ports another program holds, while no station is found.
    if (App().wizardStep == 1 && id == IDC_STATUS3) ShowWindow(Control(id), text.empty() ? SW_HIDE : SW_SHOW);
}

std::wstring BatteryLine(double volts) {
    const std::string number = VoltsToHundredths(volts);
    std::wstring line = volts >= kLowestUpdateVolts ? L"✓  " : L"✕  ";
    return line + L"Напряжение аккумулятора: " + std::wstring(number.begin(), number.end()) + L" В";
}
