// The input line: editing a line in the field below the big board, and sending
// it as chat, as a "sendfile" command or as the answer to a file offer. Owns
// the line being edited, which lives only while the field is open.
#include "game/match/input_line.h"

#include <algorithm>
#include <string>

#include "game/core/match_state.h"
#include "game/files/file_transfer.h"
#include "game/wire/outgoing.h"
#include "game/wire/protocol.h"
#include "screen/graphics.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {
namespace {

constexpr std::size_t kVisibleBytes = screen::kInputVisibleBytes;
constexpr std::string_view kSendFile = "sendfile";
constexpr std::string_view kChatSeparator = "> ";

void DrawCursor(std::size_t length) {
    const int x = screen::kInputTextPos.x +
                  screen::kGlyphWidth * static_cast<int>(std::min(length, kVisibleBytes));
    const int y = screen::kInputTextPos.y;
    screen::DrawLine(x, y, x, y + screen::kCursorHeight, screen::kBlack);
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

// The echo carries our player number; before a connection (number 0) nothing
// goes out.
std::string Chat(const std::string& line) REQUIRES(ScreenMutex) {
    screen::LogLine(std::to_string(PlayerNumber) + std::string(kChatSeparator) + line);
    if (PlayerNumber == 0) return {};
    return ChatMessage(line);
}

// The sending step: a command, an answer to an offer, or chat.
void SendLine(const std::string& line) EXCLUDES(ScreenMutex) {
    bool startSender = false;
    {
        ScreenGuard guard;
        std::string message;
        const bool command = line.starts_with(kSendFile) && PlayerNumber != 0;
        startSender = command && PrepareSend(line);
        if (!command && !TakeFileAnswer(line, message)) message = Chat(line);
        if (!message.empty()) QueueToPeer(std::move(message));
        EraseField();
    }
    if (startSender) {
        WaitForGameThread(GameThread::kFileSend);
        StartGameThread(GameThread::kFileSend, FileSendWorker);
    }
}

enum class Step { kGoOn, kSent, kLeft, kClosed };

// One key: whether the line goes on, was sent or must close.
Step ApplyKey(const std::string& key, std::string& line) EXCLUDES(ScreenMutex) {
    if (key == screen::kCloseRequest) {
        RaiseStop();
        return Step::kClosed;
    }
    if (screen::IsKey(key, screen::kKeyEnter) && !line.empty()) {
        SendLine(line);
        return Step::kSent;
    }
    if (screen::IsKey(key, screen::kKeyBackspace)) {
        if (!line.empty()) line.pop_back();
    } else if (screen::IsCharacterKey(key)) {
        line += key;
    } else {
        return Step::kGoOn;
    }
    ScreenGuard guard;
    Redraw(line);
    return Step::kGoOn;
}

// A press in the field or on "Send" belongs to the line. A left press anywhere else closes
// the field and stays waiting, so the caller acts on it where it went down; presses of
// other buttons are dropped.
Step ApplyPress(const std::string& line) EXCLUDES(ScreenMutex) {
    ScreenGuard guard;
    const screen::MouseSample press = screen::PeekPress();
    if (press.flag != 0) return Step::kGoOn;
    const bool onSend = screen::InZone(screen::kSendButtonClickZone, press.x, press.y);
    const bool inField = screen::InRect(screen::kInputFieldInside, press.x, press.y);
    if (screen::IsLeftClick(press) && !inField && !(onSend && !line.empty())) {
        EraseField();
        return Step::kLeft;
    }
    screen::TakePress();
    return screen::IsLeftClick(press) && onSend ? Step::kSent : Step::kGoOn;
}

LineEnd EndOf(Step step) {
    return step == Step::kSent   ? LineEnd::kSent
           : step == Step::kLeft ? LineEnd::kLeft
                                 : LineEnd::kClosed;
}

}  // namespace

// Keys typed while no line was open are not the line's: they are dropped when it
// opens. The line closes, erased, when the game it was opened in ends (QuitFlag
// raised meanwhile), so no thread waits on a field nobody types into and no key
// of a cut-off line is sent later. Between keys and presses it sleeps: raising
// QuitFlag wakes it like any input, and a click on the board is acted on at once.
void InputLine() {
    RunInputLine();
}

LineEnd RunInputLine() {
    const std::uint32_t opened = QuitGeneration();
    std::string line;
    {
        ScreenGuard guard;
        screen::DropTypedKeys();
        DrawCursor(0);
    }
    for (;;) {
        const std::uint64_t seen = screen::InputGeneration();
        std::string key;
        {
            ScreenGuard guard;
            key = screen::ReadKey();
        }
        const Step keyStep = key.empty() ? Step::kGoOn : ApplyKey(key, line);
        if (keyStep != Step::kGoOn) return EndOf(keyStep);
        const Step pressStep = ApplyPress(line);
        if (pressStep == Step::kSent) SendLine(line);
        if (pressStep != Step::kGoOn) return EndOf(pressStep);
        if (line.size() >= kChatAutoSendBytes) {
            SendLine(line);
            return LineEnd::kSent;
        }
        if (QuitGeneration() != opened) {
            ScreenGuard guard;
            EraseField();
            return LineEnd::kClosed;
        }
        screen::WaitForInputAfter(seen);
    }
}

}  // namespace game
