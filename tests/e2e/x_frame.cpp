// The game window's pixels as the X server holds them, read with XGetImage
// and turned into 0xRRGGBB whatever the visual's channel layout. Never sends
// input and never draws.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <chrono>
#include <thread>

#include "tests/e2e/png_writer.h"
#include "tests/e2e/x_harness.h"

namespace e2e {
namespace {

constexpr int kFramePollMs = 10;
constexpr unsigned long kChannelMax = 0xFF;
constexpr int kRedShift = 16;
constexpr int kGreenShift = 8;

// Scales one channel of an image pixel to 8 bits.
std::uint32_t Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const unsigned long value = (pixel & mask) >> std::countr_zero(mask);
    const unsigned long max = mask >> std::countr_zero(mask);
    return static_cast<std::uint32_t>(value * kChannelMax / max);
}

std::uint32_t ToRgb(const XImage& image, unsigned long pixel) {
    return Channel(pixel, image.red_mask) << kRedShift |
           Channel(pixel, image.green_mask) << kGreenShift | Channel(pixel, image.blue_mask);
}

}  // namespace

bool ReadFrame(Session& session, Frame& frame) {
    XImage* image = XGetImage(session.connection, session.window, 0, 0, kFrameWidth, kFrameHeight,
                              AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    frame.resize(static_cast<std::size_t>(kFrameWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            frame[static_cast<std::size_t>(y) * kFrameWidth + x] =
                ToRgb(*image, XGetPixel(image, x, y));
        }
    }
    XDestroyImage(image);
    return true;
}

bool ReadWindowRegion(Session& session, int x, int y, int width, int height,
                      std::vector<std::uint32_t>& pixels) {
    XImage* image =
        XGetImage(session.connection, session.window, x, y, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    pixels.resize(static_cast<std::size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column)
            pixels[static_cast<std::size_t>(row) * width + column] =
                ToRgb(*image, XGetPixel(image, column, row));
    }
    XDestroyImage(image);
    return true;
}

bool WindowSize(Session& session, int& width, int& height) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(session.connection, session.window, &attributes) == 0) return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

bool ResizeWindow(Session& session, int width, int height) {
    XResizeWindow(session.connection, session.window, width, height);
    XSync(session.connection, False);
    int w = 0, h = 0;
    return WindowSize(session, w, h) && w == width && h == height;
}

bool SetDisplayDpi(Session& session, int dpi) {
    const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
    XChangeProperty(session.connection, DefaultRootWindow(session.connection), XA_RESOURCE_MANAGER,
                    XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()),
                    static_cast<int>(resources.size()));
    XSync(session.connection, False);
    return true;
}

bool ReadOnePixel(Session& session, int x, int y, std::uint32_t& rgb) {
    XImage* image = XGetImage(session.connection, session.window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    rgb = ToRgb(*image, XGetPixel(image, 0, 0));
    XDestroyImage(image);
    return true;
}

bool SaveDocPicture(const std::string& name, const Frame& frame) {
    return WritePng(std::string(MAREVANT_DOCS_DIR) + "/" + name, frame, kFrameWidth, kFrameHeight);
}

bool WaitForFrame(Session& session, const FrameCheck& done, int timeoutMs, Frame& last) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool read = ReadFrame(session, last);
        if (read && done(last)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kFramePollMs));
    }
}

}  // namespace e2e
