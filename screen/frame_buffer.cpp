// The frame buffer and every drawing operation on it. Owns the pixels, the
// update-group depth and the changed mark the window refresh looks at; knows
// nothing of the window system or of input.
#include "screen/graphics.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "screen/font_cp437.h"
#include "screen/frame_internal.h"

namespace screen {
namespace {

constexpr int kPixelCount = kWidth * kHeight;
constexpr std::uint8_t kLeftmostGlyphBit = 0x80;

struct FrameState {
    std::mutex lock;  // one operation at a time, against each other and the refresh
    bool live = false;
    bool changed = false;
    bool announced = false;  // the listener has heard of the current change
    void (*changeListener)() = nullptr;
    int updateDepth = 0;
    std::array<std::uint32_t, kPixelCount> pixels{};
    // Flood fill marks a pixel visited by writing the current epoch into its stamp,
    // so the marks never need clearing between fills.
    std::array<std::uint32_t, kPixelCount> visitStamp{};
    std::uint32_t visitEpoch = 0;
    std::vector<int> pending;
};

FrameState frame;

bool Inside(int x, int y) {
    return x >= 0 && x < kWidth && y >= 0 && y < kHeight;
}

// Tells the listener once about a change it can show: none while a group is open.
void Announce() {
    if (!frame.changed || frame.announced || frame.updateDepth > 0) return;
    frame.announced = true;
    if (frame.changeListener != nullptr) frame.changeListener();
}

void Plot(int x, int y, Colour colour) {
    if (!Inside(x, y)) return;
    std::uint32_t& pixel = frame.pixels[y * kWidth + x];
    if (pixel != static_cast<std::uint32_t>(colour)) {
        pixel = static_cast<std::uint32_t>(colour);
        frame.changed = true;
        Announce();
    }
}

// Bresenham; for the 45-degree diagonal this gives exactly the pixels (k, k).
void PlotLine(int x1, int y1, int x2, int y2, Colour colour) {
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int stepX = x1 < x2 ? 1 : -1;
    const int stepY = y1 < y2 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        Plot(x1, y1, colour);
        if (x1 == x2 && y1 == y2) return;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x1 += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y1 += stepY;
        }
    }
}

void PlotGlyph(int x, int y, std::uint8_t code, Colour colour) {
    for (int row = 0; row < kGlyphRows; ++row) {
        const std::uint8_t bits = kFontCp437[code][row];
        for (int column = 0; column < kGlyphWidth; ++column) {
            if (bits & (kLeftmostGlyphBit >> column)) Plot(x + column, y + row, colour);
        }
    }
}

std::uint32_t NextVisitEpoch() {
    if (++frame.visitEpoch == 0) {
        frame.visitStamp.fill(0);
        frame.visitEpoch = 1;
    }
    return frame.visitEpoch;
}

// Queues a neighbour that is inside the frame, not yet visited and not border.
void VisitNeighbour(int x, int y, std::uint32_t border, std::uint32_t epoch) {
    if (!Inside(x, y)) return;
    const int index = y * kWidth + x;
    if (frame.visitStamp[index] == epoch || frame.pixels[index] == border) return;
    frame.visitStamp[index] = epoch;
    frame.pending.push_back(index);
}

}  // namespace

void AttachFrame() {
    std::lock_guard guard(frame.lock);
    frame.pixels.fill(kBlack);
    frame.live = true;
    frame.changed = true;
    frame.announced = false;
    frame.updateDepth = 0;
    Announce();
}

void SetFrameChangeListener(void (*listener)()) {
    std::lock_guard guard(frame.lock);
    frame.changeListener = listener;
}

bool CopyFrameIfChanged(std::uint32_t* out) {
    std::lock_guard guard(frame.lock);
    // A change inside an open group is announced again when the group closes.
    frame.announced = false;
    if (!frame.live || !frame.changed || frame.updateDepth > 0) return false;
    std::memcpy(out, frame.pixels.data(), sizeof frame.pixels);
    frame.changed = false;
    return true;
}

void DrawText(int x, int y, std::string_view text, Colour colour) {
    std::lock_guard guard(frame.lock);
    if (!frame.live) return;
    for (std::size_t i = 0; i < text.size() && x < kWidth; ++i, x += kGlyphWidth) {
        PlotGlyph(x, y, static_cast<std::uint8_t>(text[i]), colour);
    }
}

void DrawLine(int x1, int y1, int x2, int y2, Colour colour) {
    std::lock_guard guard(frame.lock);
    if (frame.live) PlotLine(x1, y1, x2, y2, colour);
}

void DrawBox(int x1, int y1, int x2, int y2, Colour colour) {
    std::lock_guard guard(frame.lock);
    if (!frame.live) return;
    PlotLine(x1, y1, x2, y1, colour);
    PlotLine(x1, y2, x2, y2, colour);
    PlotLine(x1, y1, x1, y2, colour);
    PlotLine(x2, y1, x2, y2, colour);
}

void FillBox(int x1, int y1, int x2, int y2, Colour colour) {
    std::lock_guard guard(frame.lock);
    if (!frame.live) return;
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), kWidth - 1);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), kHeight - 1);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x)
            Plot(x, y, colour);
    }
}

// 4-connected and iterative: pixels already in the fill colour are passed
// through like any other, so only the visit marks make it terminate.
void FloodFill(int x, int y, Colour fill, Colour border) {
    std::lock_guard guard(frame.lock);
    const auto borderPixel = static_cast<std::uint32_t>(border);
    if (!frame.live || !Inside(x, y) || frame.pixels[y * kWidth + x] == borderPixel) return;
    const std::uint32_t epoch = NextVisitEpoch();
    frame.pending.clear();
    frame.visitStamp[y * kWidth + x] = epoch;
    frame.pending.push_back(y * kWidth + x);
    while (!frame.pending.empty()) {
        const int index = frame.pending.back();
        frame.pending.pop_back();
        const int px = index % kWidth;
        const int py = index / kWidth;
        Plot(px, py, fill);
        VisitNeighbour(px - 1, py, borderPixel, epoch);
        VisitNeighbour(px + 1, py, borderPixel, epoch);
        VisitNeighbour(px, py - 1, borderPixel, epoch);
        VisitNeighbour(px, py + 1, borderPixel, epoch);
    }
}

Colour ReadPixel(int x, int y) {
    std::lock_guard guard(frame.lock);
    if (!frame.live || !Inside(x, y)) return kNoPixel;
    return static_cast<Colour>(frame.pixels[y * kWidth + x]);
}

void BeginUpdate() {
    std::lock_guard guard(frame.lock);
    ++frame.updateDepth;
}

void EndUpdate() {
    std::lock_guard guard(frame.lock);
    if (frame.updateDepth > 0) --frame.updateDepth;
    Announce();
}

}  // namespace screen
