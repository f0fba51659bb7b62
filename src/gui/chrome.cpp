#include "gui/chrome.h"

namespace zjx::chrome {
namespace {

// Button rows of the sprite are 20 high; the pressed close image sits one row lower than the
// pressed minimise image.
constexpr int buttonTop = 2;
constexpr int buttonBottom = 22;
constexpr int buttonHeight = 20;
constexpr int minimiseWidth = 29;
constexpr int closeWidth = 41;
constexpr int minimiseLeftFromRight = 80; // x = W - 80
constexpr int closeLeftFromRight = 51;    // x = W - 51, also the right end of the minimise area
constexpr int closeRightFromRight = 10;   // x = W - 10

bool inButtonRows(int y) {
    return y >= buttonTop && y <= buttonBottom;
}

// What the title does at a place, by the button under it.
template <typename Answer> Answer byButton(TitleButton button, Answer onMinimise, Answer onClose, Answer elsewhere) {
    switch (button) {
    case TitleButton::Minimise:
        return onMinimise;
    case TitleButton::Close:
        return onClose;
    case TitleButton::None:
        break;
    }
    return elsewhere;
}

} // namespace

bool inMinimiseArea(int x, int y, int width) {
    return inButtonRows(y) && x >= width - minimiseLeftFromRight && x <= width - closeLeftFromRight;
}

bool inCloseArea(int x, int y, int width) {
    return inButtonRows(y) && x >= width - closeLeftFromRight && x <= width - closeRightFromRight;
}

TitleButton buttonAt(int x, int y, int width) {
    if (inMinimiseArea(x, y, width))
        return TitleButton::Minimise;
    if (inCloseArea(x, y, width))
        return TitleButton::Close;
    return TitleButton::None;
}

ButtonImages hoverImages(int x, int y, int width) {
    return byButton<ButtonImages>(buttonAt(x, y, width), {ButtonImage::Hover, ButtonImage::Normal},
                                  {ButtonImage::Normal, ButtonImage::Hover}, {});
}

PressAction pressAction(Qt::MouseButton button, int x, int y, int width) {
    if (button != Qt::LeftButton || y > topBandBottom)
        return PressAction::Nothing;
    return byButton(buttonAt(x, y, width), PressAction::PressMinimise, PressAction::PressClose,
                    PressAction::MoveWindow);
}

ReleaseAction releaseAction(int x, int y, int width) {
    return byButton(buttonAt(x, y, width), ReleaseAction::Minimise, ReleaseAction::Close, ReleaseAction::Nothing);
}

QRect buttonRect(TitleButton button, int width) {
    switch (button) {
    case TitleButton::Minimise:
        return {width - minimiseLeftFromRight, buttonTop, minimiseWidth, buttonHeight};
    case TitleButton::Close:
        return {width - closeLeftFromRight, buttonTop, closeWidth, buttonHeight};
    case TitleButton::None:
        break;
    }
    return {};
}

QRect spriteSource(TitleButton button, ButtonImage image) {
    if (button == TitleButton::None)
        return {};
    const bool close = button == TitleButton::Close;
    int y = 0;
    switch (image) {
    case ButtonImage::Normal:
        y = 0;
        break;
    case ButtonImage::Hover:
        y = 21;
        break;
    case ButtonImage::Pressed:
        y = close ? 42 : 41;
        break;
    }
    return close ? QRect(minimiseWidth, y, closeWidth, buttonHeight) : QRect(0, y, minimiseWidth, buttonHeight);
}

QRect titleButtonsRect(int width) {
    return buttonRect(TitleButton::Minimise, width).united(buttonRect(TitleButton::Close, width));
}

QList<PaintStep> paintSteps(int width, int height) {
    const int w = width;
    const int h = height;
    return {
        {Picture::FrameSkin, {0, 0, 6, 88}, {0, 0, 6, 88}},            // top-left corner
        {Picture::FrameSkin, {6, 0, w - 12, 88}, {6, 0, 1, 88}},       // top band
        {Picture::FrameSkin, {w - 6, 0, 6, 88}, {7, 0, 6, 88}},        // top-right corner
        {Picture::FrameSkin, {0, 68, 3, h - 73}, {0, 68, 3, 28}},      // left edge
        {Picture::FrameSkin, {w - 3, 68, 3, h - 73}, {10, 68, 3, 28}}, // right edge
        {Picture::FrameSkin, {0, h - 5, 6, 5}, {0, 96, 6, 5}},         // bottom-left corner
        {Picture::FrameSkin, {6, h - 5, w - 12, 5}, {6, 96, 1, 5}},    // bottom band
        {Picture::FrameSkin, {w - 6, h - 5, 6, 5}, {7, 96, 6, 5}},     // bottom-right corner
        {Picture::ButtonSprite, buttonRect(TitleButton::Minimise, w),
         spriteSource(TitleButton::Minimise, ButtonImage::Normal)},
        {Picture::ButtonSprite, buttonRect(TitleButton::Close, w),
         spriteSource(TitleButton::Close, ButtonImage::Normal)},
        {Picture::Banner, {QPoint(10, 12), bannerSize}, {QPoint(0, 0), bannerSize}},
    };
}

} // namespace zjx::chrome
