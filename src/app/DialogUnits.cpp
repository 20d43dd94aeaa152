#include "DialogUnits.h"

#include <QFont>
#include <QFontMetrics>

QRect DialogUnitsToPixels(const QFont &font, int left, int top, int width, int height) {
    QFontMetrics metrics(font);
    // The average width of the letters, as the dialog manager measures it.
    const int across = (metrics.horizontalAdvance(
                            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                        26) / 52;
    const int down = metrics.height();
    auto x = [&](int units) { return (units * across + 2) / 4; };
    auto y = [&](int units) { return (units * down + 4) / 8; };
    return QRect(x(left), y(top), x(width), y(height));
}
