// Renders the expected frames offscreen. The lobby picture comes from the
// game's DrawStaticScreen and ShowHelpLines; the address field is drawn here
// from its own geometry, so a wrong position in the game shows as a
// difference. Owns the cached lobby picture; the message log's state makes a
// second ShowHelpLines scroll, so the lobby is drawn once per process.
#include "tests/e2e/expected_screen.h"

#include <algorithm>

#include "game/match/lobby.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/offscreen.h"

namespace e2e {
namespace {

// The address field inside the status panel, in window pixels.
constexpr int kFieldLeft = 281;
constexpr int kFieldTop = 141;
constexpr int kFieldRight = 398;
constexpr int kFieldBottom = 204;
constexpr int kFieldCentreX = 340;
constexpr int kSingleRowY = 170;
constexpr int kUpperRowX = 308;
constexpr int kUpperRowY = 165;
constexpr int kLowerRowY = 175;
constexpr std::size_t kRowLength = 8;
constexpr std::size_t kLongestOneRow = 14;  // 112 of the field's 118 pixels
constexpr int kHalfGlyph = 4;

struct PictureState {
    bool lobbyDrawn = false;
    Frame lobby;
};

PictureState pictures;

// Small-board geometry: cells of 12 pixels from (0, 280); the frame's bottom
// line at y 399 cuts the last row one pixel short.
constexpr int kSmallCell = 12;
constexpr int kSmallTop = 280;
constexpr int kSmallGridEnd = 120;
constexpr int kSmallInsideBottom = 398;

void DrawSmallBoardCell(int column, int row) {
    const int left = kSmallCell * (column - 1) + 1;
    const int top = kSmallTop + kSmallCell * (row - 1) + 1;
    screen::FillBox(left, top, left + kSmallCell - 2,
                    std::min(top + kSmallCell - 2, kSmallInsideBottom), screen::kShipGrey);
}

}  // namespace

Frame CaptureOffscreen() {
    Frame frame(static_cast<std::size_t>(kFrameWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            frame[static_cast<std::size_t>(y) * kFrameWidth + x] =
                static_cast<std::uint32_t>(screen::ReadPixel(x, y));
        }
    }
    return frame;
}

namespace {

// Leaves the offscreen buffer holding the lobby, with the field redrawn on top later.
void DrawLobbyOnce() {
    if (pictures.lobbyDrawn) return;
    screen::OpenOffscreen();
    screen::DrawStaticScreen();
    game::ShowHelpLines();
    pictures.lobby = CaptureOffscreen();
    pictures.lobbyDrawn = true;
}

int CentredX(std::size_t length) {
    return kFieldCentreX - kHalfGlyph * static_cast<int>(length);
}

}  // namespace

std::vector<std::pair<int, int>> FleetCells(const std::vector<Ship>& fleet) {
    std::vector<std::pair<int, int>> cells;
    for (const Ship& ship : fleet) {
        for (int s = 0; s < ship.length; ++s)
            cells.emplace_back(ship.column + (ship.across ? s : 0),
                               ship.row + (ship.across ? 0 : s));
    }
    return cells;
}

void StartExpectedFrame() {
    pictures.lobbyDrawn = false;
    screen::OpenOffscreen();
    screen::DrawStaticScreen();
}

void DrawExpectedFleet(const std::vector<Ship>& fleet) {
    for (int i = 0; i <= 10; ++i) {
        screen::DrawLine(kSmallCell * i, kSmallTop, kSmallCell * i, kFrameHeight, screen::kBlack);
        screen::DrawLine(0, kSmallTop + kSmallCell * i, kSmallGridEnd, kSmallTop + kSmallCell * i,
                         screen::kBlack);
    }
    for (const auto& [column, row] : FleetCells(fleet))
        DrawSmallBoardCell(column, row);
}

Frame ExpectedLobby() {
    DrawLobbyOnce();
    return pictures.lobby;
}

// Every field drawing starts by whitening the whole field, so earlier
// addresses leave no trace in the buffer.
Frame ExpectedLobbyWithAddress(std::string_view address) {
    DrawLobbyOnce();
    screen::FillBox(kFieldLeft, kFieldTop, kFieldRight, kFieldBottom, screen::kWhite);
    if (address.size() <= kLongestOneRow) {
        screen::DrawText(CentredX(address.size()), kSingleRowY, address, screen::kBlack);
    } else {
        screen::DrawText(kUpperRowX, kUpperRowY, address.substr(0, kRowLength), screen::kBlack);
        const std::string_view rest = address.substr(kRowLength);
        screen::DrawText(CentredX(rest.size()), kLowerRowY, rest, screen::kBlack);
    }
    return CaptureOffscreen();
}

}  // namespace e2e
