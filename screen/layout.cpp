// Draws the fixed screen and the small area updates that several match flows share: the phase
// label and result, the status panel, the turn indicator and the progress bar. Positions come
// from layout.h; nothing here keeps state.
#include "screen/layout.h"

#include <string>

namespace screen {
namespace {

constexpr int kLastGridLine = 11;  // lines 0, 25, ..., 275 in each direction
constexpr int kLabelOffset = 10;   // a label's cell starts 10 pixels into its cell
constexpr Point kRowTenLabel{5, 260};
constexpr int kLastSingleDigitRow = 9;
constexpr int kWholeBarPercent = 100;

constexpr Point kTitlePos{300, 10};
constexpr Point kVersionPos{324, 30};
constexpr Point kAuthorPos{296, 45};
constexpr Point kPlayerLabelPos{304, 98};
constexpr Point kConnectLabelPos{304, 240};
constexpr Point kSendLabelPos{360, 287};

// At start-up no connection exists, so the player number shown is 0.
constexpr char kPlayerLabel[] = "Spieler 0";

void DrawRect(const Rect& r) {
    DrawBox(r.x1, r.y1, r.x2, r.y2, kBlack);
}

void DrawTargetGrid() {
    for (int p = 0; p <= kLastGridLine; ++p) {
        const int at = kTargetCellSize * p;
        DrawLine(at, 0, at, kTargetGridEnd, kBlack);
        if (p < kBoardCells) {
            DrawText(at + kTargetCellSize + kLabelOffset, kLabelOffset,
                     std::string(1, static_cast<char>('A' + p)), kBlack);
        }
    }
    for (int p = 0; p <= kLastGridLine; ++p) {
        const int at = kTargetCellSize * p;
        DrawLine(0, at, kTargetGridEnd, at, kBlack);
        if (p < kLastSingleDigitRow) {
            DrawText(kLabelOffset, at + kTargetCellSize + kLabelOffset,
                     std::string(1, static_cast<char>('1' + p)), kBlack);
        }
    }
    DrawText(kRowTenLabel.x, kRowTenLabel.y, "10", kBlack);
}

}  // namespace

void DrawStaticScreen() {
    FillBox(0, 0, kWidth, kHeight, kWhite);
    DrawTargetGrid();
    DrawRect(kTitleBox);
    DrawText(kTitlePos.x, kTitlePos.y, "Marevant", kBlack);
    DrawText(kVersionPos.x, kVersionPos.y, "v1.0", kBlack);
    DrawText(kAuthorPos.x, kAuthorPos.y, "by Tessvik", kBlack);
    DrawRect(kPlayerBox);
    DrawText(kPlayerLabelPos.x, kPlayerLabelPos.y, kPlayerLabel, kBlack);
    DrawRect(kStatusPanel);
    DrawText(kAddressPrompt.at.x, kAddressPrompt.at.y, kAddressPrompt.text, kBlack);
    DrawRect(kPhaseBox);
    DrawText(kConnectLabelPos.x, kConnectLabelPos.y, "Verbinden", kBlack);
    DrawRect(kFleetFrame);
    const Rect& d = kTurnIndicatorDiagonal;
    DrawLine(d.x1, d.y1, d.x2, d.y2, kBlack);
    DrawRect(kInputLine);
    DrawRect(kSendButton);
    DrawText(kSendLabelPos.x, kSendLabelPos.y, "Send", kBlack);
    DrawRect(kMessageLog);
}

void ErasePhaseLabel() {
    DrawText(kPhaseLabelErase.x, kPhaseLabelErase.y, std::string(kPhaseLabelWidth, kBlankChar),
             kWhite);
}

void ShowPhaseLabel(const Label& label) {
    ErasePhaseLabel();
    DrawText(label.at.x, label.at.y, label.text, kBlack);
}

void ShowResult(bool won) {
    ErasePhaseLabel();
    FloodFill(kPhaseFillSeed.x, kPhaseFillSeed.y, won ? kWaterBlue : kHitRed, kBlack);
    const Label& label = won ? kPhaseWon : kPhaseLost;
    DrawText(label.at.x, label.at.y, label.text, kBlack);
}

void ClearPhaseBackground() {
    FloodFill(kPhaseFillSeed.x, kPhaseFillSeed.y, kWhite, kBlack);
}

void ShowStatus(Colour background, std::initializer_list<Label> lines) {
    const Rect& panel = kStatusInterior;
    FillBox(panel.x1, panel.y1, panel.x2, panel.y2, background);
    for (const Label& line : lines)
        DrawText(line.at.x, line.at.y, line.text, kBlack);
}

void PaintTurnIndicator(Colour colour) {
    for (const Point& seed : kTurnIndicatorSeeds)
        FloodFill(seed.x, seed.y, colour, kBlack);
}

void ShowProgress(int percent) {
    const Rect& bar = kProgressBar;
    FillBox(bar.x1, bar.y1, bar.x1 + (bar.x2 - bar.x1) * percent / kWholeBarPercent, bar.y2, kWaterBlue);
}

void EraseProgressBar() {
    const Rect& bar = kProgressBar;
    FillBox(bar.x1, bar.y1, bar.x2, bar.y2, kWhite);
}

}  // namespace screen
