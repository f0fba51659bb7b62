// Draws every picture of the program at 1x and 2x and writes them as PNG files.
//
//   QT_QPA_PLATFORM=offscreen makeart <art folder>
//
// Writes frame, buttons, banner, panelclose and the style-sheet glyphs, each with an @2x twin, and
// the application icon zjx.png (256) with zjx-64.png and zjx-48.png.
#include "palette.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QString fontFamily = QStringLiteral("WenQuanYi Micro Hei");

QColor mix(const QColor& a, const QColor& b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

// Colour of the title band at window height y (logical pixels, continuous so that the 2x pictures
// get a finer gradient). Below the band the window is white; a faint shadow leads over to it.
QColor bandColour(double y) {
    if (y < 1)
        return art::border;
    if (y < 2)
        return art::highlight;
    if (y < 25) // flat from y 25 on, where the purple status area of the window begins
        return mix(art::bandTop, art::purple, (y - 2) / 23.0);
    if (y < 84)
        return art::purple;
    if (y < 85)
        return art::bandLine;
    static const double shadow[] = {0.20, 0.08, 0.03};
    if (y < 88)
        return mix(Qt::white, art::border, shadow[int(y) - 85]);
    return Qt::white;
}

QImage blank(int w, int h, int scale) {
    QImage img(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setDevicePixelRatio(scale);
    return img;
}

bool save(const QImage& img, const QString& dir, const QString& name, int scale) {
    const QString file = dir + u'/' + name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
    QImage out = img;
    out.setDevicePixelRatio(1);      // the file name carries the density, not a PNG chunk
    if (!out.save(file, "PNG", 9)) { // 9: smallest file
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(file), out.width(), out.height());
    return true;
}

// Frame skin 13 x 101: columns 0-5 left corner, 6 stretched middle, 7-12 right corner; rows 0-87
// top band, 68-95 side-edge sample (columns 0-2 and 10-12), 96-100 bottom band.
QImage frame(int s) {
    QImage img = blank(13, 101, s);
    auto edge = [](int col) { return (col == 0 || col == 12) ? art::border : art::purple; };
    for (int dy = 0; dy < img.height(); ++dy) {
        const int ly = dy / s;
        const double yc = (dy + 0.5) / s;
        for (int dx = 0; dx < img.width(); ++dx) {
            const int lx = dx / s;
            const bool side = lx <= 2 || lx >= 10;
            QColor c;
            if (ly >= 96)
                c = (ly == 100 || lx == 0 || lx == 12) ? art::border : art::purple;
            else if (ly >= 68 && side)
                c = edge(lx);
            else if (ly <= 87)
                c = (lx == 0 || lx == 12) ? art::border : bandColour(yc);
            else
                c = Qt::white; // rows 88-95 of the corners are never drawn
            img.setPixelColor(dx, dy, c);
        }
    }
    return img;
}

// Fills a sprite cell with the band it is drawn over (at window y 2), so that the sprite can be
// copied as it is and a normal image fully replaces a hover image.
void fillBand(QImage& img, int s, const QRect& cell) {
    for (int dy = cell.top() * s; dy < (cell.bottom() + 1) * s; ++dy) {
        const QColor c = bandColour(2 + (dy - cell.top() * s + 0.5) / s);
        for (int dx = cell.left() * s; dx < (cell.right() + 1) * s; ++dx)
            img.setPixelColor(dx, dy, c);
    }
}

enum class ButtonState { Normal, Hover, Pressed };

void drawMinimise(QPainter& p, const QRectF& cell, ButtonState state, int s) {
    if (state != ButtonState::Normal) {
        p.setPen(Qt::NoPen);
        p.setBrush(state == ButtonState::Hover ? QColor(255, 255, 255, 48) : QColor(40, 0, 42, 70));
        p.drawRoundedRect(cell.adjusted(1, 0, -1, 0), 3, 3);
    }
    const double thick = s == 1 ? 2.0 : 1.5;
    const QPointF c = cell.center();
    p.fillRect(QRectF(c.x() - 5.5, c.y() + 1 - thick / 2, 11, thick), Qt::white);
}

void drawClose(QPainter& p, const QRectF& cell, ButtonState state, int s) {
    if (state != ButtonState::Normal) {
        p.setPen(Qt::NoPen);
        p.setBrush(state == ButtonState::Hover ? art::closeRed : art::closeRedDark);
        p.drawRoundedRect(cell.adjusted(1, 0, -1, 0), 3, 3);
    }
    const QPointF c = cell.center();
    const double h = 4.5;
    p.setPen(QPen(Qt::white, s == 1 ? 1.6 : 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - h, c.y() - h), QPointF(c.x() + h, c.y() + h));
    p.drawLine(QPointF(c.x() - h, c.y() + h), QPointF(c.x() + h, c.y() - h));
}

// Title-button sprite 70 x 69: minimise at x 0 (29 wide), close at x 29 (41 wide); normal rows at
// y 0, hover at y 21, pressed at y 41 (minimise) and y 42 (close); every image 20 high.
QImage buttons(int s) {
    QImage img = blank(70, 69, s);
    struct Cell {
        QRect rect;
        ButtonState state;
        bool close;
    };
    const Cell cells[] = {
        {{0, 0, 29, 20}, ButtonState::Normal, false},   {{0, 21, 29, 20}, ButtonState::Hover, false},
        {{0, 41, 29, 20}, ButtonState::Pressed, false}, {{29, 0, 41, 20}, ButtonState::Normal, true},
        {{29, 21, 41, 20}, ButtonState::Hover, true},   {{29, 42, 41, 20}, ButtonState::Pressed, true},
    };
    for (const Cell& c : cells)
        fillBand(img, s, c.rect);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (const Cell& c : cells) {
        p.save();
        p.setClipRect(c.rect);
        if (c.close)
            drawClose(p, c.rect, c.state, s);
        else
            drawMinimise(p, c.rect, c.state, s);
        p.restore();
    }
    return img;
}

struct ParcelLook {
    QColor top, left, right, tape, outline;
};

// An isometric parcel: a cube of edge a whose top vertex sits at `top`, with a tape strip over the
// top face and down the left face.
void drawParcel(QPainter& p, QPointF top, double a, const ParcelLook& look) {
    const double k = std::sqrt(3.0) / 2;
    const QPointF n = top, e(top.x() + k * a, top.y() + a / 2), c(top.x(), top.y() + a),
                  w(top.x() - k * a, top.y() + a / 2);
    const QPointF down(0, a);
    auto poly = [](std::initializer_list<QPointF> pts) { return QPolygonF(QList<QPointF>(pts)); };
    p.setPen(look.outline.alpha() ? QPen(look.outline, a / 40.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                                  : QPen(Qt::NoPen));
    p.setBrush(look.left);
    p.drawPolygon(poly({w, c, c + down, w + down}));
    p.setBrush(look.right);
    p.drawPolygon(poly({c, e, e + down, c + down}));
    p.setBrush(look.top);
    p.drawPolygon(poly({n, e, c, w}));
    // The tape runs from the middle of the far edge (n-e) to the middle of the near edge (w-c) and
    // on down the left face.
    const double t = 0.13; // half width of the tape, as a share of an edge
    auto along = [](QPointF from, QPointF to, double f) { return from + (to - from) * f; };
    p.setPen(Qt::NoPen);
    p.setBrush(look.tape);
    p.drawPolygon(poly({along(n, e, 0.5 - t), along(n, e, 0.5 + t), along(w, c, 0.5 + t), along(w, c, 0.5 - t)}));
    QColor tapeSide = look.tape.darker(112);
    p.setBrush(tapeSide);
    p.drawPolygon(poly({along(w, c, 0.5 - t), along(w, c, 0.5 + t), along(w, c, 0.5 + t) + down * 0.42,
                        along(w, c, 0.5 - t) + down * 0.42}));
}

// A map pin of height h whose tip is at `tip`.
void drawPin(QPainter& p, QPointF tip, double h, const QColor& fill, const QColor& hole) {
    const double r = h * 0.36;
    const QPointF centre(tip.x(), tip.y() - h + r);
    const double a = 40.0; // angle below the centre line at which the sides leave the circle
    QPainterPath path(tip);
    const double rad = qDegreesToRadians(a);
    const QPointF right(centre.x() + r * std::cos(rad), centre.y() + r * std::sin(rad));
    path.lineTo(right);
    path.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -a, 180 + 2 * a);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(path);
    p.setBrush(hole);
    p.drawEllipse(centre, r * 0.42, r * 0.42);
}

// Dotted track from `from` to `to`, bending through `via`.
void drawTrack(QPainter& p, QPointF from, QPointF via, QPointF to, const QColor& colour, double dot, double gap) {
    QPainterPath path(from);
    path.quadTo(via, to);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const double len = path.length();
    for (double d = 0; d <= len; d += gap)
        p.drawEllipse(path.pointAtPercent(path.percentAtLength(d)), dot / 2, dot / 2);
}

// Application icon, drawn in a 256 x 256 design square.
void drawIcon(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(12, 12, 232, 232);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, QColor(196, 58, 199));
    g.setColorAt(0.55, art::purple);
    g.setColorAt(1, QColor(112, 0, 116));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, 52, 52);
    // A soft light from the top left gives the tile some depth without a hard gloss line.
    QRadialGradient light(QPointF(70, 50), 190);
    light.setColorAt(0, QColor(255, 255, 255, 46));
    light.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(light);
    p.drawRoundedRect(tile, 52, 52);

    drawTrack(p, QPointF(44, 206), QPointF(150, 250), QPointF(192, 128), QColor(255, 255, 255, 200), 9, 17);
    drawParcel(p, QPointF(112, 64), 76,
               {QColor(255, 255, 255), QColor(242, 228, 243), QColor(214, 188, 216), QColor(178, 40, 181),
                QColor(0, 0, 0, 0)});
    drawPin(p, QPointF(196, 128), 70, QColor(255, 200, 64), QColor(166, 0, 169));
}

QImage icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(size / 256.0, size / 256.0);
    drawIcon(p);
    return img;
}

// Title banner 347 x 70, transparent: drawn over the purple band at window (10, 12).
QImage banner(int s) {
    QImage img = blank(347, 70, s);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Emblem: a white parcel on a soft round badge, with its track.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 34));
    p.drawEllipse(QPointF(32, 36), 29, 29);
    drawParcel(p, QPointF(30, 13), 23,
               {QColor(255, 255, 255), QColor(240, 224, 241), QColor(212, 182, 214), QColor(190, 70, 193),
                QColor(0, 0, 0, 0)});
    drawPin(p, QPointF(50, 34), 19, QColor(255, 200, 64), art::purple);

    QFont title(fontFamily);
    title.setPixelSize(38);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    title.setStyleStrategy(QFont::PreferAntialias);
    const QString name = QStringLiteral("踪迹匣");
    const QPointF base(72, 44);
    QPainterPath text;
    text.addText(base, title, name);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 0, 72, 90));
    p.drawPath(text.translated(0, 1.5));
    p.setBrush(Qt::white);
    p.drawPath(text);
    // A thin stroke thickens the strokes slightly: the face has no bold of its own.
    p.setPen(QPen(Qt::white, 0.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(text);

    QFont sub(fontFamily);
    sub.setPixelSize(14);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    p.setFont(sub);
    p.setPen(art::lavender);
    const QString subtitle = QStringLiteral("快递跟踪 V4.0");
    const QPointF subBase(74, 64);
    p.drawText(subBase, subtitle);
    const double subEnd = subBase.x() + QFontMetricsF(sub).horizontalAdvance(subtitle) + 8;
    // The track leads from the subtitle towards the right, ending in a small dot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    for (double x = subEnd; x < subEnd + 60; x += 6)
        p.drawEllipse(QPointF(x, 59), 1.1, 1.1);
    p.setBrush(QColor(255, 200, 64));
    p.drawEllipse(QPointF(subEnd + 64, 59), 2.6, 2.6);
    return img;
}

// Close image of the floating panels, 16 x 16, on the panels' light background.
QImage panelClose(int s) {
    QImage img = blank(16, 16, s);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(art::purple);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(QPen(Qt::white, s == 1 ? 1.6 : 1.5, Qt::SolidLine, Qt::RoundCap));
    const double h = 3.2;
    p.drawLine(QPointF(8 - h, 8 - h), QPointF(8 + h, 8 + h));
    p.drawLine(QPointF(8 - h, 8 + h), QPointF(8 + h, 8 - h));
    return img;
}

// Down arrow of the drop-downs, 10 x 10.
QImage arrowDown(int s, const QColor& colour) {
    QImage img = blank(10, 10, s);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(1.5, 3.5), QPointF(5, 7), QPointF(8.5, 3.5)}));
    return img;
}

// Tick of a checked check box, 12 x 12, white on the filled indicator.
QImage check(int s) {
    QImage img = blank(12, 12, s);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(2.3, 6.2), QPointF(4.9, 8.8), QPointF(9.8, 3.2)}));
    return img;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeart <art folder>\n");
        return 2;
    }
    if (!QFontDatabase::families().contains(fontFamily)) {
        std::fprintf(stderr, "font %s is not installed (fonts-wqy-microhei)\n", qPrintable(fontFamily));
        return 1;
    }
    const QString artDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(artDir);
    const QColor arrowColour(110, 60, 112);
    const QColor arrowDisabled(176, 170, 178);
    bool ok = true;
    for (int s : {1, 2}) {
        ok &= save(frame(s), artDir, QStringLiteral("frame"), s);
        ok &= save(buttons(s), artDir, QStringLiteral("buttons"), s);
        ok &= save(banner(s), artDir, QStringLiteral("banner"), s);
        ok &= save(panelClose(s), artDir, QStringLiteral("panelclose"), s);
        ok &= save(arrowDown(s, arrowColour), artDir, QStringLiteral("arrow-down"), s);
        ok &= save(arrowDown(s, arrowDisabled), artDir, QStringLiteral("arrow-down-disabled"), s);
        ok &= save(check(s), artDir, QStringLiteral("check"), s);
    }
    ok &= save(icon(256), artDir, QStringLiteral("zjx"), 1);
    for (int size : {64, 48})
        ok &= save(icon(size), artDir, QStringLiteral("zjx-%1").arg(size), 1);
    return ok ? 0 : 1;
}
