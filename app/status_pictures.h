#pragma once

#include <QPixmap>

#include <vector>

// The four 20x20 row-status pictures, in status order: a plain framed
// picture, the same with a green tick, with a red cross, with a yellow
// question mark.
std::vector<QPixmap> MakeStatusPictures();
