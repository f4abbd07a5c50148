#pragma once

#include <QRect>

// Where the controls of the inputs panel stand: the size and the control positions the window
// was designed with, at 96 dots per inch.
namespace trawlex::panel {

// The inputs keep the size and the control positions they were designed with; only the results
// below them grow with the window.
constexpr int kClientWidth = 545;
constexpr int kClientHeight = 333;

// Rows of controls: one control height, and a pitch that leaves a small gap between rows.
constexpr int kControlHeight = 22;
constexpr int kRowPitch = 25;
constexpr int kLeft = 8;
constexpr int kRight = kClientWidth - 8;
constexpr int kGap = 4;

// Rows 1 to 5: a label column, the fields, and up to three button columns at the right edge.
constexpr int kTop = 5;
constexpr int kLabelWidth = 84;
constexpr int kFieldLeft = kLeft + kLabelWidth + 2;
constexpr int kButtonWidth = 80;
constexpr int kColumnC = kRight - kButtonWidth;
constexpr int kColumnB = kColumnC - kGap - kButtonWidth;
constexpr int kColumnA = kColumnB - kGap - kButtonWidth;

constexpr int RowTop(int row) {
    return kTop + (row - 1) * kRowPitch;
}

// Row 6 stands in the case group; the other controls of the row line up with its options.
constexpr int kFrame1Top = RowTop(5) + kControlHeight + kGap;
constexpr int kFrame1Width = 190;
constexpr int kFrame1Height = 44;
constexpr int kFrameContentTop = 20;
constexpr int kRow6Top = kFrame1Top + kFrameContentTop - 1;

constexpr int kRow7Top = kFrame1Top + kFrame1Height + kGap;

// Rows 8 and 9 stand in the result group.
constexpr int kFrame2Top = kRow7Top + kControlHeight + kGap;
constexpr int kFrame2Height = kFrameContentTop + kRowPitch + kControlHeight + 5;

constexpr int kRow10Top = kFrame2Top + kFrame2Height + kGap;
constexpr int kRow11Top = kRow10Top + kRowPitch;

inline QRect At(int x, int y, int width) {
    return {x, y, width, kControlHeight};
}

}  // namespace trawlex::panel
