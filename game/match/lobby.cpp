// The lobby loop, the address entry and Connect. Runs on the main thread while
// no other game thread exists, so it draws without taking the screen mutex.
#include "game/match/lobby.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "game/core/board.h"
#include "game/lan/discovery.h"
#include "game/match/computer_match.h"
#include "game/match/input_line.h"
#include "game/match/network_match.h"
#include "net/datagram.h"
#include "screen/layout.h"
#include "screen/message_log.h"

namespace game {

std::string AddressText;

namespace {

constexpr int kIdlePauseMs = 5;
constexpr int kEntryPauseMs = 200;
constexpr std::size_t kAddressMaxLength = 15;  // a dotted IPv4 address
constexpr std::size_t kAddressRowLength = screen::kAddressRowLength;
constexpr std::size_t kAddressLineFits =
    (screen::kStatusInterior.x2 - screen::kStatusInterior.x1 + 1) / screen::kGlyphWidth;
constexpr std::string_view kAcceptedChars = "0123456789.AIKaik";
constexpr std::string_view kServerFound = "Server gefunden: ";

// The quotation marks and the runs of blanks are part of the texts: the blanks
// pad the first row of each long line to exactly the log's width.
constexpr std::string_view kHelpLines[] = {
    " ", "Um Server zu starten: \"Verbinden\"",
    " ", "Zu Server verbinden: IP eingeben  und \"Verbinden\"",
    " ", "Spiel gegen PC: \"KI\" bei IP       eingeben und \"Verbinden\"",
};

void ClearStatusPanel() {
    screen::ShowStatus(screen::kWhite, {});
}

int CentredX(std::size_t length) {
    return screen::kStatusCentreX - screen::kGlyphWidth / 2 * static_cast<int>(length);
}

// An address that fits the field's width stands on one line, so it reads as typed.
void DrawAddressField() {
    screen::BeginUpdate();
    ClearStatusPanel();
    const std::size_t length = AddressText.size();
    if (length <= kAddressLineFits) {
        screen::DrawText(CentredX(length), screen::kStatusLineY, AddressText, screen::kBlack);
    } else {
        const std::string_view text = AddressText;
        screen::DrawText(screen::kAddressUpperRow.x, screen::kAddressUpperRow.y,
                         text.substr(0, kAddressRowLength), screen::kBlack);
        screen::DrawText(CentredX(length - kAddressRowLength), screen::kStatusLowerY,
                         text.substr(kAddressRowLength), screen::kBlack);
    }
    screen::EndUpdate();
}

// Applies one key to the address; Enter may start a match from here, and a start that
// comes back ends the entry: the panel then shows what the start left there.
bool ApplyAddressKey(const std::string& key, ProgramEnd end) {
    const char first = key[0];
    if (first == screen::kKeyEnter) {
        if (AddressText.empty()) return false;
        Connect(end);
        return true;
    }
    if (first == screen::kKeyBackspace) {
        if (!AddressText.empty()) AddressText.pop_back();
    } else if (first == screen::kSpecialKeyPrefix) {
        if (key == screen::kCloseRequest) QuitProgram(end);
    } else if (kAcceptedChars.find(first) != std::string_view::npos) {
        if (AddressText.size() < kAddressMaxLength) AddressText.push_back(first);
    }
    return false;
}

bool IsComputerAddress(const std::string& address) {
    std::string upper = address;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper == "KI" || upper == "AI";
}

// The input line takes a close request that comes while it is open and raises StopFlag;
// here nothing else would ever look at that flag, so the program ends at once.
void LobbyInputLine(ProgramEnd end) {
    if (RunInputLine() == LineEnd::kClosed && Stopping()) QuitProgram(end);
}

// The servers heard since the last look, each as a line of the log.
void LogFoundServers() {
    for (const std::string& address : TakeFoundServers())
        screen::LogLine(std::string(kServerFound) + address);
}

// The address the log row under a press names, when it is a line of a server found; empty
// otherwise.
std::string FoundAddressAt(int x, int y) {
    if (!screen::InZone(screen::kLogClickZone, x, y)) return {};
    const int slot = (y - screen::kLogTextPos.y) / screen::kLogLineHeight;
    const std::string line = screen::LogSlot(slot);
    if (!line.starts_with(kServerFound)) return {};
    const std::string address = line.substr(kServerFound.size());
    return net::IsDottedAddress(address) ? address : std::string();
}

// A click on a found server's line connects to it, as if its address were typed and confirmed.
void ConnectToFound(const std::string& address, ProgramEnd end) {
    AddressText = address;
    DrawAddressField();
    Connect(end);
}

void IdleClick(const screen::MouseSample& mouse, ProgramEnd end) {
    if (screen::InZone(screen::kLogClickZone, mouse.x, mouse.y)) {
        const std::string address = FoundAddressAt(mouse.x, mouse.y);
        if (!address.empty()) ConnectToFound(address, end);
    } else if (screen::kInputLineClickZone.y1 < mouse.y &&
               mouse.y < screen::kInputLineClickZone.y2) {
        if (screen::InZone(screen::kInputLineClickZone, mouse.x, mouse.y)) LobbyInputLine(end);
    } else if (screen::InZone(screen::kStatusClickZone, mouse.x, mouse.y)) {
        AddressEntry(end);
    } else if (screen::InZone(screen::kPhaseClickZone, mouse.x, mouse.y)) {
        ClearStatusPanel();
        Connect(end);
    }
}

}  // namespace

void ShowHelpLines() {
    for (std::string_view line : kHelpLines)
        screen::LogLine(line);
}

// Without a press and without a key nothing can happen until the input
// changes, so the idle step sleeps until then instead of waking 200 times a
// second.
void LobbyLoop(ProgramEnd end) {
    ShowHelpLines();
    ListenForServers(true);
    for (;;) {
        const std::uint64_t seen = screen::InputGeneration();
        LogFoundServers();
        const screen::MouseSample press = screen::TakePress();
        const bool clicked = screen::IsLeftClick(press);
        if (clicked) IdleClick(press, end);
        screen::WaitMs(kIdlePauseMs);
        const std::string key = screen::ReadKey();
        if (key == screen::kCloseRequest) return;
        if (!clicked && key.empty()) screen::WaitForInputAfter(seen);
    }
}

void AddressEntry(ProgramEnd end) {
    AddressText.clear();
    ClearStatusPanel();
    for (;;) {
        LogFoundServers();
        const std::string key = screen::ReadKey();
        if (!key.empty()) {
            if (ApplyAddressKey(key, end)) return;
            DrawAddressField();
        }
        screen::WaitMs(kEntryPauseMs);
        const screen::MouseSample press = screen::TakePress();
        if (screen::IsLeftClick(press)) {
            const std::string found = FoundAddressAt(press.x, press.y);
            if (!found.empty()) ConnectToFound(found, end);
            if (found.empty() && screen::InZone(screen::kPhaseClickZone, press.x, press.y))
                Connect(end);
            return;
        }
    }
}

namespace {

void ConnectTo(ProgramEnd end) {
    if (AddressText.empty()) {
        CreateScreenMutex();
        StartServer(end);
        return;
    }
    if (IsComputerAddress(AddressText)) {
        const screen::Label& label = screen::kComputerLabel;
        const std::string blanks(label.text.size(), screen::kBlankChar);
        screen::DrawText(label.at.x, label.at.y, blanks, screen::kWhite);
        screen::DrawText(label.at.x, label.at.y, label.text, screen::kBlack);
        MyTurn.store(1, std::memory_order_relaxed);
        RunComputerMatch(end);
    }
    CreateScreenMutex();
    if (StartClient(AddressText, end) != StartEnd::kFailed) AddressText.clear();
}

}  // namespace

// A start that fails or is given up comes back here; a failed one keeps the
// address, so "Verbinden" tries it again. The lobby does not listen for servers meanwhile.
void Connect(ProgramEnd end) {
    ListenForServers(false);
    ConnectTo(end);
    ListenForServers(true);
}

}  // namespace game
