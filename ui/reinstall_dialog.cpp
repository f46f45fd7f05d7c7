#include "ui/reinstall_dialog.h"

// The pop-up itself comes with its own window class; until then the update page's texts guide
// the user and the worker finds the instrument again by itself.
void RunReinstallDialog(HWND owner) { (void)owner; }
