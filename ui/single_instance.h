#pragma once
// One copy of the program at a time: two windows polling the same station would each see it only
// while the other does not hold it.

// True when another copy runs and its window was brought to the front (restored if minimised):
// this copy is to end without a window; a mark refused with access denied (made by a copy with
// other rights, such as an elevated one) counts as another copy. False when this is the only copy,
// when the mark cannot be made for another reason, or when no window of ours appears within 5 s
// (a hung copy, or the mark's name taken by another program): this copy starts as usual. Called
// once, before the main window is created.
bool HandOverToRunningCopy();
