// The texts and colours of a shot, once for both match flows.
#include "game/core/shot_report.h"

#include <string_view>

#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::string_view kOurHit = "Du hast ein Schiff getroffen";
constexpr std::string_view kOurWater = "Wasser";
constexpr std::string_view kTheirHit = "Dein Schiff wurde getroffen";
constexpr std::string_view kTheirWater = "Dein Gegner hat nichts getroffen";
constexpr std::string_view kRepeatedShot = "Das Feld wurde bereits beschossen";

void Paint(const screen::Point& cell, bool hit) {
    screen::FloodFill(cell.x, cell.y, hit ? screen::kHitRed : screen::kWaterBlue, screen::kBlack);
}

}  // namespace

void ShowOurShot(int column, int row, bool hit) {
    screen::LogLine(hit ? kOurHit : kOurWater);
    Paint(screen::TargetProbe(column, row), hit);
}

void ShowTheirShot(int column, int row, bool hit, bool paint) {
    screen::LogLine(hit ? kTheirHit : kTheirWater);
    if (paint) Paint(screen::FleetProbe(column, row), hit);
}

void ShowRepeatedShot() {
    screen::LogLine(kRepeatedShot);
}

}  // namespace game
