// Dialog layouts are given in dialog units of an 8-point font: a quarter of
// the average character width across, an eighth of the character height
// down. These convert them to pixels for the font in use.
#pragma once

#include <QRect>

class QFont;

QRect DialogUnitsToPixels(const QFont &font, int left, int top, int width, int height);
