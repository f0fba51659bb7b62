#include "assets/art.h"

#include <QPainter>
#include <QRect>

namespace zjx::art {

QPixmap pixmap(const QString& name, qreal devicePixelRatio) {
    if (devicePixelRatio > 1) {
        // QImageReader gives a file named "...@2x" the device pixel ratio 2.
        QPixmap twin(QStringLiteral(":/art/") + name + QStringLiteral("@2x.png"));
        if (!twin.isNull())
            return twin;
    }
    return QPixmap(QStringLiteral(":/art/") + name + QStringLiteral(".png"));
}

void drawPiece(QPainter& painter, const QRect& target, const QPixmap& picture, const QRect& source) {
    // drawPixmap takes the source in the picture's own pixels.
    const qreal r = picture.devicePixelRatio();
    painter.drawPixmap(QRectF(target), picture,
                       QRectF(source.x() * r, source.y() * r, source.width() * r, source.height() * r));
}

} // namespace zjx::art
