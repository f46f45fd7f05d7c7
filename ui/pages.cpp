#include "ui/pages.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/app_state.h"
#include "core/battery.h"
#include "ui/attention.h"
#include "ui/control_ids.h"
#include "ui/keyboard_focus.h"
#include "ui/page.h"
#include "ui/reinstall_dialog.h"
#include "ui/start_button.h"
#include "ui/ui_texts.h"
#include "ui/version_question.h"
#include "ui/window_helpers.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
// A one-line static: it never wraps, and a text that cannot fit ends in "…".
constexpr DWORD kOneLine = SS_ENDELLIPSIS;
// Tab visits the controls a user acts on in the order they are created.
constexpr DWORD kActed = kChild | WS_TABSTOP;

// Created in this order; nothing disabled. A control without a box is placed by the pages; the file box
// keeps its own, where it stands hidden before the check page places it.
// clang-format off
const ChildControl kControls[] = {
    {.id = IDC_TITLE, .className = L"STATIC", .style = kChild | SS_CENTER | kOneLine,
     .text = L"Обновление прошивки Zarvel Ксарон 4", .box = {345, 29, 760, 66}, .font = HeaderFont},
    {.id = IDC_STEP1, .className = L"STATIC", .style = kChild | SS_LEFT | kOneLine,
     .text = kStepLabels[0], .box = {220, 139, 220, 38}, .font = StepLabelFont},
    {.id = IDC_STEP2, .className = L"STATIC", .style = kChild | SS_LEFT | kOneLine,
     .text = kStepLabels[1], .box = {650, 139, 210, 38}, .font = StepLabelFont},
    {.id = IDC_STEP3, .className = L"STATIC", .style = kChild | SS_LEFT | kOneLine,
     .text = kStepLabels[2], .box = {1080, 139, 250, 38}, .font = StepLabelFont},
    {.id = IDC_HEADING, .className = L"STATIC", .style = kChild | SS_LEFT | kOneLine, .font = CaptionFont},
    {.id = IDC_DESCRIPTION, .className = L"STATIC", .style = kChild | SS_LEFT, .font = BaseFont},
    {.id = IDC_STATUS1, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = RowFont},
    {.id = IDC_STATUS2, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = RowFont},
    {.id = IDC_STATUS3, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = RowFont},
    {.id = IDC_STATUS4, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = RowFont},
    {.id = IDC_STATUS5, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = RowFont},
    {.id = IDC_FILE_BOX, .className = L"STATIC", .style = kChild | SS_OWNERDRAW,
     .text = L"Файл прошивки не выбран", .box = {800, 525, 295, 50}, .font = BaseFont},
    {.id = IDC_CHOOSE_FILE, .className = L"BUTTON", .style = kActed | BS_OWNERDRAW,
     .text = L"Выбрать другой файл", .font = BaseFont},
    {.id = IDC_ACCEPT_RISK, .className = L"BUTTON", .style = kActed | BS_AUTOCHECKBOX,
     .text = L"Я понимаю возможные риски и хочу продолжить", .font = BaseFont},
    {.id = IDC_START, .className = L"BUTTON", .style = kActed | BS_OWNERDRAW,
     .text = L"Начать обновление", .font = BaseFont},
    {.id = IDC_CANCEL, .className = L"BUTTON", .style = kActed | BS_OWNERDRAW,
     .text = kCancelUpdateText, .font = BaseFont},
    {.id = IDC_NEXT_INSTRUMENT, .className = L"BUTTON", .style = kActed | BS_OWNERDRAW,
     .text = L"Обновить следующий прибор", .box = {800, 860, 520, 46}, .font = BaseFont},
    {.id = IDC_PROGRESS, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = BaseFont},
    {.id = IDC_NOTE, .className = L"STATIC", .style = kChild | SS_OWNERDRAW, .font = BaseFont},
};
// clang-format on

enum class Shown { Keep, Yes, No };

// One control on one page: its place, visibility and text, each kept as it is where the row gives none.
struct PageRow {
    int id;
    std::optional<PixelBox> box = std::nullopt;
    Shown shown = Shown::Keep;
    std::optional<std::wstring_view> text = std::nullopt;
    bool enable = false;
};

struct PageLayout {
    Page page;
    std::span<const PageRow> rows;
    void (*fillTexts)() = nullptr; // texts computed from the state, after the fixed ones
    void (*finish)() = nullptr;    // the page's last steps
};

// clang-format off
const PageRow kConnectRows[] = {
    {.id = IDC_HEADING, .box = {{790, 245, 540, 52}}, .shown = Shown::Yes, .text = L"Подключите дата-станцию"},
    {.id = IDC_DESCRIPTION, .box = {{790, 310, 540, 90}}, .shown = Shown::Yes,
     .text = L"Подключите дата-станцию к компьютеру. После её обнаружения установите прибор на дата-станцию."},
    {.id = IDC_STATUS1, .box = {{800, 425, 520, 42}}, .shown = Shown::Yes, .text = L"○  Поиск дата-станции…"},
    {.id = IDC_STATUS2, .box = {{800, 480, 520, 42}}, .shown = Shown::Yes, .text = L"○  Ожидание прибора"},
    {.id = IDC_STATUS3, .box = {{800, 535, 520, 42}}, .shown = Shown::No, .text = L""},
    {.id = IDC_STATUS4, .box = {{800, 590, 520, 42}}, .shown = Shown::No, .text = L""},
    {.id = IDC_STATUS5, .box = {{800, 645, 520, 42}}, .shown = Shown::No, .text = L""},
    {.id = IDC_NOTE, .box = {{780, 810, 560, 100}}, .shown = Shown::Yes,
     .text = L"Важно\r\nПрибор должен быть заряжен и оставаться на станции до полного завершения."},
    {.id = IDC_FILE_BOX, .shown = Shown::No},
    {.id = IDC_CHOOSE_FILE, .shown = Shown::No},
    {.id = IDC_ACCEPT_RISK, .shown = Shown::No},
    {.id = IDC_START, .shown = Shown::No},
    {.id = IDC_CANCEL, .shown = Shown::No},
    {.id = IDC_PROGRESS, .shown = Shown::No},
    {.id = IDC_NEXT_INSTRUMENT, .shown = Shown::No},
};

const PageRow kCheckRows[] = {
    {.id = IDC_HEADING, .box = {{790, 245, 540, 52}}, .shown = Shown::Yes, .text = L"Проверка перед обновлением"},
    {.id = IDC_DESCRIPTION, .box = {{790, 310, 540, 65}}, .shown = Shown::Yes,
     .text = L"Программа проверила подключение и готовность прибора."},
    {.id = IDC_STATUS1, .box = {{800, 380, 520, 40}}, .shown = Shown::Yes}, // the instrument and its version
    {.id = IDC_STATUS2, .box = {{800, 423, 520, 40}}, .shown = Shown::Yes}, // the battery line
    {.id = IDC_STATUS3, .box = {{800, 466, 520, 40}}, .shown = Shown::Yes}, // the lowest voltage
    {.id = IDC_STATUS4, .box = {{800, 509, 520, 40}}, .shown = Shown::Yes}, // the DFWU line
    {.id = IDC_STATUS5, .box = {{800, 552, 520, 40}}, .shown = Shown::No, .text = L""},
    {.id = IDC_FILE_BOX, .box = {{800, 570, 295, 50}}, .shown = Shown::Yes},
    {.id = IDC_CHOOSE_FILE, .box = {{1110, 570, 210, 50}}, .shown = Shown::Yes},
    {.id = IDC_ACCEPT_RISK, .box = {{800, 645, 520, 38}}, .shown = Shown::Yes},
    {.id = IDC_START, .box = {{800, 695, 520, 46}}, .shown = Shown::Yes},
    {.id = IDC_CANCEL, .box = {{800, 755, 520, 46}}, .shown = Shown::Yes, .text = kCancelUpdateText,
     .enable = true},
    {.id = IDC_NOTE, .box = {{780, 815, 560, 100}}, .shown = Shown::Yes,
     .text = L"Внимание\r\nВо время обновления не снимайте прибор с дата-станции и не отключайте кабель."},
    {.id = IDC_PROGRESS, .shown = Shown::No},
    {.id = IDC_NEXT_INSTRUMENT, .shown = Shown::No},
};

const PageRow kUpdateRows[] = {
    {.id = IDC_HEADING, .box = {{790, 245, 540, 52}}, .shown = Shown::Yes, .text = kUpdateRunningText},
    {.id = IDC_DESCRIPTION, .box = {{790, 310, 540, 70}}, .shown = Shown::Yes,
     .text = L"Пожалуйста, дождитесь завершения процесса."},
    {.id = IDC_PROGRESS, .box = {{800, 390, 520, 32}}, .shown = Shown::Yes},
    {.id = IDC_STATUS1, .box = {{800, 445, 520, 40}}, .shown = Shown::Yes, .text = L"○  Подключение к прибору"},
    {.id = IDC_STATUS2, .box = {{800, 489, 520, 40}}, .shown = Shown::Yes, .text = L"○  Переход в режим обновления"},
    {.id = IDC_STATUS3, .box = {{800, 533, 520, 40}}, .shown = Shown::Yes, .text = L"○  Передача прошивки"},
    {.id = IDC_STATUS4, .box = {{800, 577, 520, 40}}, .shown = Shown::Yes, .text = L"○  Проверка и перезапуск"},
    {.id = IDC_STATUS5, .box = {{800, 621, 520, 40}}, .shown = Shown::Yes, .text = L""},
    {.id = IDC_NOTE, .box = {{780, 710, 560, 105}}, .shown = Shown::Yes,
     .text = L"НЕ СНИМАЙТЕ ПРИБОР С ДАТА-СТАНЦИИ\r\nНе отключайте кабель и не закрывайте программу."},
    {.id = IDC_FILE_BOX, .shown = Shown::No},
    {.id = IDC_CHOOSE_FILE, .shown = Shown::No},
    {.id = IDC_ACCEPT_RISK, .shown = Shown::No},
    {.id = IDC_START, .shown = Shown::No},
    // Below the note, which covers the place the check page gives it; cancellable between blocks.
    {.id = IDC_CANCEL, .box = {{800, 830, 520, 46}}, .shown = Shown::Yes, .text = kCancelUpdateText,
     .enable = true},
    {.id = IDC_NEXT_INSTRUMENT, .shown = Shown::No},
};

// The status lines stay as the update left them; the description is the worker's message.
const PageRow kDoneRows[] = {
    {.id = IDC_HEADING, .box = {{790, 270, 540, 58}}, .text = kUpdateDoneText},
    {.id = IDC_DESCRIPTION, .box = {{790, 345, 540, 100}}},
    {.id = IDC_NOTE, .box = {{780, 735, 560, 110}},
     .text = L"Прошивка успешно обновлена\r\nТеперь прибор можно снять с дата-станции."},
    {.id = IDC_PROGRESS, .shown = Shown::No},
    {.id = IDC_CANCEL, .shown = Shown::No},
    // Below the note, inside the right card: a service centre goes on to the next instrument.
    {.id = IDC_NEXT_INSTRUMENT, .shown = Shown::Yes},
};

// The update page while the instrument waits to be set down again: its places and step stay.
const PageRow kReinstallRows[] = {
    {.id = IDC_HEADING, .text = kReinstallTitle},
    {.id = IDC_DESCRIPTION, .text = kReinstallInstruction},
    {.id = IDC_STATUS4, .text = L"✓  Команда Reset выполнена"},
    {.id = IDC_STATUS5, .text = L"●  Ожидание повторной установки…"},
    {.id = IDC_NOTE, .text = L"ПОДНИМИТЕ И СНОВА УСТАНОВИТЕ ПРИБОР\r\nПроверка продолжится автоматически."},
};
// clang-format on

bool IsPageTop(int id) { return id == IDC_HEADING || id == IDC_DESCRIPTION; }

enum class TextsOf { AllButNote, Note };

void SetRowTexts(std::span<const PageRow> rows, TextsOf which) {
    for (const PageRow& row : rows)
        if (row.text && (row.id == IDC_NOTE) == (which == TextsOf::Note))
            SetControlText(row.id, std::wstring(*row.text));
}

void ApplyShown(const PageRow& row) {
    if (row.shown != Shown::Keep) ShowWindow(Control(row.id), row.shown == Shown::Yes ? SW_SHOW : SW_HIDE);
    if (row.enable) EnableWindow(Control(row.id), TRUE);
}

// Heading and description first, then the step labels, texts, places, visibility and the note.
// The order stays: every control has its new text and place before it is shown, so none shows
// for a moment with the last page's text or where it stood.
void ApplyPage(const PageLayout& page) {
    const bool samePage = CurrentPage() == page.page;
    App().wizardStep = StepOf(page.page);
    ClearTaskbarProgress();
    SetControlFont(IDC_HEADING, PageTitleFont);
    SetControlFont(IDC_DESCRIPTION, PageTextFont);
    for (const PageRow& row : page.rows)
        if (row.box && IsPageTop(row.id)) MoveControl(row.id, *row.box);
    RefreshStepLabels();
    SetRowTexts(page.rows, TextsOf::AllButNote);
    if (page.fillTexts != nullptr) page.fillTexts();
    for (const PageRow& row : page.rows)
        if (row.box && !IsPageTop(row.id)) MoveControl(row.id, *row.box);
    for (const PageRow& row : page.rows) ApplyShown(row);
    SetRowTexts(page.rows, TextsOf::Note);
    if (page.finish != nullptr) page.finish();
    // A check read again keeps the focus where the user put it.
    if (samePage) {
        KeepFocusAlive();
    } else {
        FocusFirstNaturalControl();
    }
}

// The monitor published both before it posted the notification that led here.
void FillCheckLines() {
    const AppState& app = App();
    SetControlText(IDC_STATUS1, InstrumentLine(app.instrumentVersion));
    SetControlText(IDC_STATUS2, BatteryLine(app.batteryVoltage));
    SetControlText(IDC_STATUS3, L"✓  Минимально допустимое напряжение: " + std::wstring(kLowestUpdateVoltsText));
    SetControlText(IDC_STATUS4,
                   app.instrumentReady ? L"✓  Механизм DFWU доступен" : L"✕  Механизм DFWU не подтверждён");
}

void ResetProgress() { ShowUpdateProgress(0); }

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
    int id = IDC_STEP1;
    for (const wchar_t* label : kStepLabels) SetControlText(id++, label);
    InvalidateRect(MainWindow(), nullptr, FALSE);
}

Page CurrentPage() { return static_cast<Page>(App().wizardStep - 1); }

void ShowConnectPage() { ApplyPage({.page = Page::Connect, .rows = kConnectRows}); }

void ShowCheckPage() {
    ApplyPage({.page = Page::Check, .rows = kCheckRows, .fillTexts = FillCheckLines, .finish = UpdateStartButton});
}

void ShowUpdatePage() { ApplyPage({.page = Page::Update, .rows = kUpdateRows, .finish = ResetProgress}); }

void ShowDonePage(const std::wstring& message) {
    ApplyPage({.page = Page::Done, .rows = kDoneRows});
    SetControlText(IDC_DESCRIPTION, message);
}

void ShowReinstallState() {
    ShowUpdateProgress(95);
    // Only texts change, the note's last as on every page; the update's focus and taskbar progress stay.
    SetRowTexts(kReinstallRows, TextsOf::AllButNote);
    SetRowTexts(kReinstallRows, TextsOf::Note);
}

void ShowStatusLine(int line, const std::wstring& text) {
    const int id = IDC_STATUS1 + line - 1;
    SetControlText(id, text);
    // There it names the ports another program holds, while no station is found.
    if (CurrentPage() == Page::Connect && id == IDC_STATUS3) ShowWindow(Control(id), text.empty() ? SW_HIDE : SW_SHOW);
}

std::wstring BatteryLine(double volts) {
    const std::string number = VoltsToHundredths(volts);
    std::wstring line = volts >= kLowestUpdateVolts ? L"✓  " : L"✕  ";
    return line + L"Напряжение аккумулятора: " + std::wstring(number.begin(), number.end()) + L" В";
}
