#pragma once
// The child-control ids of the main window and the reinstall pop-up.

constexpr int IDC_CHOOSE_FILE = 1001;
constexpr int IDC_ACCEPT_RISK = 1002;
constexpr int IDC_START = 1003;
constexpr int IDC_PROGRESS = 1004;
constexpr int IDC_TITLE = 1005;
constexpr int IDC_STEP1 = 1006;
constexpr int IDC_STEP2 = 1007;
constexpr int IDC_STEP3 = 1008;
constexpr int IDC_HEADING = 1009;
constexpr int IDC_DESCRIPTION = 1010;
constexpr int IDC_STATUS1 = 1011;
constexpr int IDC_STATUS2 = 1012;
constexpr int IDC_STATUS3 = 1013;
constexpr int IDC_STATUS4 = 1014;
constexpr int IDC_STATUS5 = 1015;
// Status line k is IDC_STATUS1 + k - 1: the workers post lines by number.
static_assert(IDC_STATUS2 == IDC_STATUS1 + 1 && IDC_STATUS3 == IDC_STATUS1 + 2 && IDC_STATUS4 == IDC_STATUS1 + 3 &&
                  IDC_STATUS5 == IDC_STATUS1 + 4,
              "the five status lines are numbered consecutively");
constexpr int IDC_FILE_BOX = 1016;
constexpr int IDC_NOTE = 1017;
constexpr int IDC_CANCEL = 1019;
constexpr int IDC_NEXT_INSTRUMENT = 1020;

constexpr int IDC_DLG_CONFIRM = 5001;
constexpr int IDC_DLG_KICKER = 5002;
constexpr int IDC_DLG_TITLE = 5003;
constexpr int IDC_DLG_TEXT = 5004;
constexpr int IDC_DLG_HINT = 5005;
