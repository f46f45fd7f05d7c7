#pragma once
// Every colour of the design, named by what it paints: the brushes, the window's painting, the buttons' looks
// and the pop-up all read them from here. Under high contrast Pick (contrast.h) puts a system colour in place.

#include <windows.h>

struct Colours {
    COLORREF accent;     // the current step, Start, the progress fill, the file block, the pop-up's band
    COLORREF success;    // a done step, a passed check
    COLORREF error;      // a failed check
    COLORREF text;       // every text on a card
    COLORREF white;      // cards, texts on the accent, marks inside circles
    COLORREF background; // the window behind the cards
    COLORREF stepBarOutline;
    COLORREF cardOutline;
    COLORREF fileCard; // the file card and the file box on it
    COLORREF fileCardOutline;
    COLORREF stepLine;   // a line between steps not reached yet
    COLORREF comingStep; // the ring and number of a step not reached yet
    COLORREF accentPressed;
    COLORREF disabledFill;
    COLORREF disabledCaption;
    COLORREF cancelOutline;
    COLORREF cancelCaption;
    COLORREF cancelPressed;
    COLORREF cancelDisabledOutline;
    COLORREF cancelDisabledCaption;
    COLORREF choosePressed;
    COLORREF progressTrack;
    COLORREF waitingRing; // the ring of a status line still waiting
    COLORREF infoNote;
    COLORREF infoNoteOutline;
    COLORREF warningNote;
    COLORREF warningNoteOutline;
    COLORREF warningIcon;
    COLORREF successNote;
    COLORREF successNoteOutline;
    COLORREF dialogConfirmPressed;
};

inline constexpr Colours kColours = {
    .accent = RGB(32, 168, 223),
    .success = RGB(47, 177, 99),
    .error = RGB(215, 63, 63),
    .text = RGB(20, 31, 43),
    .white = RGB(255, 255, 255),
    .background = RGB(246, 251, 254),
    .stepBarOutline = RGB(220, 231, 238),
    .cardOutline = RGB(222, 233, 240),
    .fileCard = RGB(248, 252, 254),
    .fileCardOutline = RGB(200, 224, 238),
    .stepLine = RGB(210, 219, 226),
    .comingStep = RGB(178, 185, 192),
    .accentPressed = RGB(13, 145, 201),
    .disabledFill = RGB(222, 230, 236),
    .disabledCaption = RGB(150, 160, 170),
    .cancelOutline = RGB(221, 92, 79),
    .cancelCaption = RGB(201, 69, 58),
    .cancelPressed = RGB(255, 240, 238),
    .cancelDisabledOutline = RGB(195, 202, 208),
    .cancelDisabledCaption = RGB(160, 168, 175),
    .choosePressed = RGB(232, 247, 253),
    .progressTrack = RGB(174, 186, 196),
    .waitingRing = RGB(180, 188, 196),
    .infoNote = RGB(244, 251, 255),
    .infoNoteOutline = RGB(186, 224, 244),
    .warningNote = RGB(255, 248, 238),
    .warningNoteOutline = RGB(243, 175, 96),
    .warningIcon = RGB(238, 126, 21),
    .successNote = RGB(239, 252, 245),
    .successNoteOutline = RGB(138, 214, 170),
    .dialogConfirmPressed = RGB(23, 142, 191),
};
