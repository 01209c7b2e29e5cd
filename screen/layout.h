// The one screen's fixed geometry: where every area, label and probe pixel lies,
// and the drawing of the static screen. Holds no state; what the areas show
// later belongs to the modules that write them.
#pragma once

#include <string_view>

#include "screen/graphics.h"

namespace screen {

struct Point {
    int x;
    int y;
};

struct Rect {
    int x1;
    int y1;
    int x2;
    int y2;
};

// Big board: 10 x 10 cells of 25 pixels between grid lines at multiples of 25.
inline constexpr int kTargetCellSize = 25;
inline constexpr int kTargetGridEnd = 275;
inline constexpr int kBoardCells = 10;
// Small board: 10 x 10 cells of 12 pixels below the big one.
inline constexpr int kFleetCellSize = 12;
inline constexpr int kFleetTop = 280;
inline constexpr Rect kFleetFrame{0, 280, 120, 399};

// Probe pixel of a cell: every fill of the cell is seeded and every read taken there.
constexpr Point TargetProbe(int column, int row) {
    return {kTargetCellSize * column + 1, kTargetCellSize * row + 1};
}
constexpr Point FleetProbe(int column, int row) {
    return {kFleetCellSize * column - 11, kFleetCellSize * row + 269};
}

// The top-left corner cell, split by its diagonal into two triangles.
inline constexpr Point kTurnIndicatorSeeds[2] = {{2, 1}, {1, 2}};
inline constexpr Rect kTurnIndicatorDiagonal{0, 0, 25, 25};

inline constexpr Rect kTitleBox{280, 0, 399, 65};
inline constexpr Rect kPlayerBox{280, 70, 399, 135};
inline constexpr Point kPlayerNumberPos{368, 98};

inline constexpr Rect kStatusPanel{280, 140, 399, 205};
inline constexpr Rect kStatusInterior{281, 141, 398, 204};
inline constexpr int kStatusCentreX = 340;
inline constexpr int kStatusLineY = 170;
inline constexpr int kStatusUpperY = 165;
inline constexpr int kStatusLowerY = 175;

inline constexpr Rect kPhaseBox{280, 210, 399, 275};
inline constexpr Point kPhaseLabelErase{284, 240};
inline constexpr int kPhaseLabelWidth = 14;  // BlankChars that erase the label
inline constexpr int kPhaseLabelY = 240;
inline constexpr Point kPhaseFillSeed{281, 211};

inline constexpr Rect kInputLine{125, 280, 351, 300};
inline constexpr Rect kSendButton{352, 280, 399, 300};
inline constexpr Point kInputTextPos{127, 286};

inline constexpr Rect kMessageLog{125, 302, 399, 399};
inline constexpr Rect kProgressBar{126, 395, 398, 398};

// Click zones, tested with strict inequalities on both sides: a click on the
// zone's edge pixels does not count.
inline constexpr Rect kTargetClickZone{25, 25, 276, 276};
inline constexpr Rect kInputLineClickZone{125, 280, 352, 300};
inline constexpr Rect kStatusClickZone{280, 140, 400, 205};
inline constexpr Rect kPhaseClickZone{280, 210, 400, 275};

constexpr bool InZone(const Rect& zone, int x, int y) {
    return zone.x1 < x && x < zone.x2 && zone.y1 < y && y < zone.y2;
}

// Draws every fixed area of the screen, once, at start-up.
void DrawStaticScreen();

// Erases the PhaseBox label with white BlankChars.
void ErasePhaseLabel();

// Erases the PhaseBox label and writes a new one at x on the label's row.
void ShowPhaseLabel(int x, std::string_view label);

// Fills both triangles of the turn indicator.
void PaintTurnIndicator(Colour colour);

}  // namespace screen
