// The input line: editing a line in the field below the big board, and sending
// it as chat, as a "sendfile" command or as the answer to a file offer. Owns
// the line being edited, which lives only while the field is open.
#include "game/input_line.h"

#include <algorithm>
#include <string>

#include "game/board.h"
#include "game/file_transfer.h"
#include "game/lobby.h"
#include "game/match_threads.h"
#include "game/network_match.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr int kStepMs = 10;
constexpr std::size_t kVisibleBytes = 28;
constexpr std::size_t kAutoSendBytes = 217;
constexpr int kGlyphWidth = 8;
constexpr int kCursorHeight = 6;
constexpr std::string_view kSendFile = "sendfile";
constexpr std::string_view kChatKeyword = "NACHR:";
constexpr std::string_view kChatSeparator = "> ";
// The field's inside, where clicks keep it open: x 126..351, y 281..299.
constexpr screen::Rect kFieldInside{126, 281, 351, 299};
constexpr screen::Rect kSendButtonZone{351, 280, 400, 300};

void DrawCursor(std::size_t length) {
    const int x =
        screen::kInputTextPos.x + kGlyphWidth * static_cast<int>(std::min(length, kVisibleBytes));
    const int y = screen::kInputTextPos.y;
    screen::DrawLine(x, y, x, y + kCursorHeight, screen::kBlack);
}

void EraseField() {
    screen::DrawText(screen::kInputTextPos.x, screen::kInputTextPos.y,
                     std::string(kVisibleBytes, screen::kBlankChar), screen::kWhite);
}

void Redraw(const std::string& line) {
    EraseField();
    const std::size_t shown = std::min(line.size(), kVisibleBytes);
    screen::DrawText(screen::kInputTextPos.x, screen::kInputTextPos.y,
                     std::string_view(line).substr(line.size() - shown), screen::kBlack);
    DrawCursor(line.size());
}

bool IsKey(const std::string& key, char code) {
    return key.size() == 1 && key[0] == code;
}

bool OutsideField(const screen::MouseSample& mouse) {
    return mouse.x < kFieldInside.x1 || mouse.x > kFieldInside.x2 || mouse.y < kFieldInside.y1 ||
           mouse.y > kFieldInside.y2;
}

// Caller holds the lock. The echo carries our player number; before a
// connection (number 0) nothing goes out.
std::string Chat(const std::string& line) {
    screen::LogLine(std::to_string(PlayerNumber) + std::string(kChatSeparator) + line);
    if (PlayerNumber == 0) return {};
    return std::string(kChatKeyword) + static_cast<char>(line.size()) + line;
}

// The sending step: a command, an answer to an offer, or chat.
void SendLine(const std::string& line) {
    LockScreen();
    std::string message;
    const bool command = line.starts_with(kSendFile) && PlayerNumber != 0;
    const bool startSender = command && PrepareSend(line);
    if (!command && !TakeFileAnswer(line, message)) message = Chat(line);
    EraseField();
    UnlockScreen();
    if (!message.empty()) SendToPeer(message);
    if (startSender) {
        WaitForGameThread(FileSendThread);
        StartGameThread(FileSendThread, FileSendWorker);
    }
}

enum class Step { kGoOn, kDone };

// One key: true when the line was sent or the field must close.
Step ApplyKey(const std::string& key, std::string& line) {
    if (key == screen::kCloseRequest) {
        LockScreen();
        RaiseQuitFlag(true);
        UnlockScreen();
        return Step::kDone;
    }
    if (IsKey(key, screen::kKeyEnter) && !line.empty()) {
        SendLine(line);
        return Step::kDone;
    }
    if (IsKey(key, screen::kKeyBackspace)) {
        if (!line.empty()) line.pop_back();
    } else if (!IsKey(key, screen::kKeyEnter)) {
        line += key;
    }
    LockScreen();
    Redraw(line);
    UnlockScreen();
    return Step::kGoOn;
}

Step ApplyClick(const screen::MouseSample& mouse, const std::string& line) {
    if (mouse.flag != 0 || mouse.buttons != screen::kButtonLeft) return Step::kGoOn;
    if (screen::InZone(kSendButtonZone, mouse.x, mouse.y) && !line.empty()) {
        SendLine(line);
        return Step::kDone;
    }
    if (!OutsideField(mouse)) return Step::kGoOn;
    LockScreen();
    EraseField();
    UnlockScreen();
    return Step::kDone;
}

}  // namespace

// The line also closes when the game it was opened in ends (QuitFlag raised
// meanwhile), so no thread waits on a field nobody types into.
void InputLine() {
    const bool quitting = Quitting();
    std::string line;
    LockScreen();
    DrawCursor(0);
    UnlockScreen();
    for (;;) {
        LockScreen();
        const screen::MouseSample mouse = screen::PollMouse();
        const std::string key = screen::ReadKey();
        UnlockScreen();
        if (!key.empty() && ApplyKey(key, line) == Step::kDone) return;
        if (ApplyClick(mouse, line) == Step::kDone) return;
        if (line.size() >= kAutoSendBytes) {
            SendLine(line);
            return;
        }
        if (!quitting && Quitting()) return;
        screen::DelayMs(kStepMs);
    }
}

}  // namespace game
