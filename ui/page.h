#pragma once
// The wizard's pages by name. The shared state keeps the page as its step number 1..4; pages.cpp
// converts where it applies a page and where it reads it back.

enum class Page { Connect, Check, Update, Done };

// The step number the shared state and the step indicator count in: Connect is 1, Done (past the
// indicator's three steps) is 4.
constexpr int StepOf(Page page) { return static_cast<int>(page) + 1; }

// The page shown now, read from the shared state. Window thread only.
Page CurrentPage();
