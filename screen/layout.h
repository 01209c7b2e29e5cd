// The one screen's fixed geometry: where every area, label, text and probe pixel lies, how a
// clicked pixel maps to a cell, and the drawing of the static screen and of the small area
// updates every match flow shares. Holds no state; what the areas show later belongs to the
// modules that write them.
#pragma once

#include <initializer_list>
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

// A text and where it stands.
struct Label {
    Point at;
    std::string_view text;
};

// Big board: 10 x 10 cells of 25 pixels between grid lines at multiples of 25.
inline constexpr int kTargetCellSize = 25;
inline constexpr int kTargetGridEnd = 275;
inline constexpr int kBoardCells = 10;
// Small board: 10 x 10 cells of 12 pixels below the big one, its grid drawn by the fleet copy.
inline constexpr int kFleetCellSize = 12;
inline constexpr int kFleetTop = 280;
inline constexpr int kFleetGridRight = 120;
inline constexpr int kFleetGridBottom = 400;
inline constexpr Rect kFleetFrame{0, 280, 120, 399};

// Probe pixel of a cell: every fill of the cell is seeded and every read taken there.
constexpr Point TargetProbe(int column, int row) {
    return {kTargetCellSize * column + 1, kTargetCellSize * row + 1};
}
constexpr Point FleetProbe(int column, int row) {
    return {kFleetCellSize * column - 11, kFleetCellSize * row + 269};
}
// The big-board cell, 1 to 10, of a pixel inside the click zone; a pixel on a grid line counts
// for the cell left of or above it.
constexpr int TargetCellAt(int pixel) {
    return (pixel - 1) / kTargetCellSize;
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
inline constexpr int kStatusLowerY = 175;
// An address of this many bytes or more takes two rows, the first starting here.
inline constexpr int kAddressRowLength = 8;
inline constexpr Point kAddressUpperRow{308, 165};

inline constexpr Label kAddressPrompt{{296, 170}, "IP eingeben"};
inline constexpr Label kComputerLabel{{332, 170}, "KI"};
inline constexpr Label kStartingServer{{288, 170}, "Starte Server"};
inline constexpr Label kServerReady{{288, 165}, "Server bereit"};
inline constexpr Label kServerWaiting{{308, 175}, "Warte..."};
inline constexpr Label kStartingClient{{288, 170}, "Starte Client"};
inline constexpr Label kSearchingServer{{292, 170}, "Suche Server"};
inline constexpr Label kConnection{{300, 165}, "Verbindung"};
inline constexpr Label kConnected{{296, 175}, "hergestellt"};
inline constexpr Label kDisconnected{{308, 175}, "getrennt"};
// "Fehler: " and the decimal code.
inline constexpr Point kErrorPos{304, 170};

inline constexpr Rect kPhaseBox{280, 210, 399, 275};
inline constexpr Point kPhaseLabelErase{284, 240};
inline constexpr int kPhaseLabelWidth = 14;  // BlankChars that erase the label
inline constexpr Point kPhaseFillSeed{281, 211};

inline constexpr Label kPhaseStarting{{288, 240}, "Initialisiere"};
inline constexpr Label kPhasePlacing{{284, 240}, "Schiffe setzen"};
inline constexpr Label kPhaseWaiting{{308, 240}, "Warte..."};
inline constexpr Label kPhasePlaying{{288, 240}, "Spiel startet"};
inline constexpr Label kPhaseWon{{308, 240}, "Gewonnen"};
inline constexpr Label kPhaseLost{{308, 240}, "Verloren"};

inline constexpr Rect kInputLine{125, 280, 351, 300};
inline constexpr Rect kSendButton{352, 280, 399, 300};
inline constexpr Point kInputTextPos{127, 286};
// Bytes of the line shown while typing, and the cursor's height below the text row.
inline constexpr int kInputVisibleBytes = 28;
inline constexpr int kCursorHeight = 6;

inline constexpr Rect kMessageLog{125, 302, 399, 399};
inline constexpr Point kLogTextPos{127, 304};
inline constexpr int kLogLineHeight = 10;
inline constexpr Rect kProgressBar{126, 395, 398, 398};

// Click zones, tested with strict inequalities on both sides: a click on the
// zone's edge pixels does not count.
inline constexpr Rect kTargetClickZone{25, 25, 276, 276};
inline constexpr Rect kInputLineClickZone{125, 280, 352, 300};
inline constexpr Rect kStatusClickZone{280, 140, 400, 205};
inline constexpr Rect kPhaseClickZone{280, 210, 400, 275};
inline constexpr Rect kSendButtonClickZone{351, 280, 400, 300};
// While the input line is open, a click keeps it open only inside its field, edges included.
inline constexpr Rect kInputFieldInside{126, 281, 351, 299};
// The message log's nine text rows, from kLogTextPos down.
inline constexpr Rect kLogClickZone{126, 303, 400, 394};

constexpr bool InZone(const Rect& zone, int x, int y) {
    return zone.x1 < x && x < zone.x2 && zone.y1 < y && y < zone.y2;
}
constexpr bool InRect(const Rect& rect, int x, int y) {
    return rect.x1 <= x && x <= rect.x2 && rect.y1 <= y && y <= rect.y2;
}

// Draws every fixed area of the screen, once, at start-up.
void DrawStaticScreen();

// Erases the PhaseBox label with white BlankChars.
void ErasePhaseLabel();
// Erases the PhaseBox label and writes a new one.
void ShowPhaseLabel(const Label& label);
// The result of a game: the label on a blue (won) or red (lost) PhaseBox.
void ShowResult(bool won);
// The PhaseBox's inside white again, around whatever letters stand in it.
void ClearPhaseBackground();

// Fills the status panel's interior and writes the lines on it.
void ShowStatus(Colour background, std::initializer_list<Label> lines);

// Fills both triangles of the turn indicator.
void PaintTurnIndicator(Colour colour);

// The progress bar up to `percent` (0 to 100), and its erasure.
void ShowProgress(int percent);
void EraseProgressBar();

}  // namespace screen
