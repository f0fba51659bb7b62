#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <Qt>

// The drawn window frame: where the title buttons are, what a mouse move, press or release over
// the window's own surface means, and which picture rectangles are copied where when the window
// paints. Positions are pixels of the window's surface; W and H are its inner width and height.
namespace zjx::chrome {

enum class TitleButton { None, Minimise, Close };
enum class ButtonImage { Normal, Hover, Pressed };
enum class PressAction { Nothing, PressMinimise, PressClose, MoveWindow };
enum class ReleaseAction { Nothing, Minimise, Close };
enum class Picture { FrameSkin, ButtonSprite, Banner };

// The images the two title buttons show.
struct ButtonImages {
    ButtonImage minimise = ButtonImage::Normal;
    ButtonImage close = ButtonImage::Normal;
    bool operator==(const ButtonImages&) const = default;
};

// One copy of a picture rectangle into a window rectangle, stretched where the sizes differ.
struct PaintStep {
    Picture picture;
    QRect destination;
    QRect source;
    bool operator==(const PaintStep&) const = default;
};

inline constexpr QSize frameSkinSize(13, 101);
inline constexpr QSize buttonSpriteSize(70, 69);
inline constexpr QSize bannerSize(347, 70);
// A press in this band (y from 0 up to and including this value) moves the window.
inline constexpr int topBandBottom = 68;

bool inMinimiseArea(int x, int y, int width);
bool inCloseArea(int x, int y, int width);
// The button a point falls on; where the two areas meet, the minimise button.
TitleButton buttonAt(int x, int y, int width);

ButtonImages hoverImages(int x, int y, int width);
PressAction pressAction(Qt::MouseButton button, int x, int y, int width);
// The release alone decides, whatever button and wherever the press was.
ReleaseAction releaseAction(int x, int y, int width);

// Where a title button is drawn, and its image in the button sprite.
QRect buttonRect(TitleButton button, int width);
QRect spriteSource(TitleButton button, ButtonImage image);
// Both title buttons together: what a button redraw repaints.
QRect titleButtonsRect(int width);

// The whole window paint, in order; later pieces overwrite earlier ones.
QList<PaintStep> paintSteps(int width, int height);

} // namespace zjx::chrome
