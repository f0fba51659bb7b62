#pragma once

#include <QPixmap>
#include <QString>

class QPainter;
class QRect;

// The program's pictures, compiled in under ":/art/". Each has an "@2x" twin with twice the pixels.
namespace zjx::art {

// ":/art/<name>.png", or its "@2x" twin (device pixel ratio 2, same logical size) when the given
// ratio is above 1. QPixmap does not pick the twin by itself for a plain file name.
QPixmap pixmap(const QString& name, qreal devicePixelRatio);

// Copies `source`, given in pixels of the 1x picture, into `target`, stretched where the sizes
// differ; the same rectangles serve for the @2x twin.
void drawPiece(QPainter& painter, const QRect& target, const QPixmap& picture, const QRect& source);

} // namespace zjx::art
