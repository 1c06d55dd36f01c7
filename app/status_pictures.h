#pragma once

#include <QPixmap>

#include <vector>

// The four 20x20 row-status pictures, in status order: a plain framed
// picture, the same with a green tick, with a red cross, with a yellow
// question mark. They are drawn for screens of `devicePixelRatio` device
// pixels per pixel, so that they stay sharp on scaled screens.
std::vector<QPixmap> MakeStatusPictures(qreal devicePixelRatio);
