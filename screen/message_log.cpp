// The message log's nine slots and their drawing. Owns the slot texts; draws
// only inside the log's text rows, never its frame or the progress bar.
#include "screen/message_log.h"

#include <array>

#include "screen/graphics.h"
#include "screen/layout.h"

namespace screen {
namespace {

constexpr char kChatMarker = '>';  // as the second character, the line is a chat line
constexpr std::string_view kContinuation = " > ";

struct LogState {
    std::array<std::string, kLogSlots> slots;
};

LogState log;

bool IsChatLine(const std::string& text) {
    return text.size() >= 2 && text[1] == kChatMarker;
}

// Puts text into the lowest free slot, or scrolls and takes the bottom one.
int StoreLine(const std::string& text) {
    const int last = kLogSlots - 1;
    if (!log.slots[last].empty()) {
        for (int i = 0; i < last; ++i)
            log.slots[i] = std::move(log.slots[i + 1]);
        log.slots[last] = text;
        return last;
    }
    int slot = 0;
    while (!log.slots[slot].empty())
        ++slot;
    log.slots[slot] = text;
    return slot;
}

void DrawLog() {
    const std::string blanks(kLogColumns, kBlankChar);
    for (int i = 0; i < kLogSlots; ++i) {
        const int y = kLogTextPos.y + kLogLineHeight * i;
        DrawText(kLogTextPos.x, y, blanks, kWhite);
        DrawText(kLogTextPos.x, y, log.slots[i], IsChatLine(log.slots[i]) ? kWaterBlue : kBlack);
    }
}

}  // namespace

void LogLine(std::string_view text) {
    // A long text becomes a chain of lines; all are stored before the log is drawn.
    std::string line(text);
    for (;;) {
        const int slot = StoreLine(line);
        if (line.size() <= static_cast<std::size_t>(kLogColumns)) break;
        std::string rest = line.substr(kLogColumns);
        if (IsChatLine(log.slots[slot])) rest.insert(0, kContinuation);
        line = std::move(rest);
    }
    DrawLog();
}

void RedrawMessageLog() {
    DrawLog();
}

std::string LogSlot(int slot) {
    if (slot < 0 || slot >= kLogSlots) return {};
    return log.slots[slot];
}

}  // namespace screen
