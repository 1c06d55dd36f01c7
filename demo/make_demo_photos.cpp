// Writes the demo folder that a first run opens: a dozen small but real
// photos (they open in any image viewer) whose EXIF dates spread over three
// days, two taken in the same second, one without EXIF and one damaged, so
// that every kind of row the window shows can be tried safely.

#include "jpeg_builder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

struct DemoPhoto {
    const char* name;
    const char* taken; // EXIF form; nullptr: no EXIF block
    QColor sky;
};

// Listed in name order, which is not the order they were taken in.
const DemoPhoto kPhotos[] = {
    {"DSC00311.jpg", "2024:05:18 20:31:57", QColor(250, 150, 90)},
    {"DSC00312.jpg", "2024:05:20 13:15:48", QColor(110, 170, 230)},
    {"IMG_2041.jpg", "2024:05:18 09:02:11", QColor(130, 190, 240)},
    {"IMG_2042.jpg", "2024:05:18 09:13:02", QColor(120, 180, 235)},
    {"IMG_2043.jpg", "2024:05:19 08:05:51", QColor(200, 210, 225)},
    {"IMG_2044.jpg", "2024:05:19 08:05:51", QColor(190, 205, 225)}, // same second
    {"IMG_2045.jpg", "2024:05:19 12:15:00", QColor(90, 160, 240)},
    {"IMG_2046.jpg", "2024:05:19 16:27:33", QColor(100, 165, 235)},
    {"IMG_2047.jpg", "2024:05:20 07:48:09", QColor(235, 190, 150)},
    {"IMG_2048.jpg", "2024:05:20 18:59:40", QColor(240, 120, 80)},
    {"panorama-edit.jpg", nullptr, QColor(140, 200, 220)},
};
constexpr const char* kDamagedName = "IMG_2049.jpg";

// A landscape: sky, sun, two hills.
QImage Landscape(const QColor& sky, int seed) {
    QImage image(320, 240, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 240);
    gradient.setColorAt(0, sky.lighter(120));
    gradient.setColorAt(1, sky.darker(110));
    p.fillRect(image.rect(), gradient);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 90));
    p.drawEllipse(QPointF(60 + seed * 20, 60 + (seed % 3) * 10), 22, 22);
    p.setBrush(QColor(70, 130, 70));
    QPainterPath back;
    back.moveTo(0, 240);
    back.cubicTo(80, 120 + seed * 3, 200, 190, 320, 140);
    back.lineTo(320, 240);
    p.drawPath(back);
    p.setBrush(QColor(50, 105, 55));
    QPainterPath front;
    front.moveTo(0, 200);
    front.cubicTo(120, 170, 220, 240 - seed * 2, 320, 210);
    front.lineTo(320, 240);
    front.lineTo(0, 240);
    p.drawPath(front);
    return image;
}

testdata::Bytes ToJpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 85))
        return {};
    return testdata::Bytes(bytes.begin(), bytes.end());
}

// The EXIF block goes right behind the JFIF header, where cameras put it.
testdata::Bytes WithExif(testdata::Bytes jpeg, const char* taken) {
    const testdata::CTiffBuilder tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, taken);
    testdata::CJpegBuilder app1;
    app1.Exif(tiff);
    std::size_t at = 2;
    if (jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0)
        at = 4 + (std::size_t(jpeg[4]) << 8 | jpeg[5]);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), app1.Data().begin(),
                app1.Data().end());
    return jpeg;
}

bool Write(const QDir& dir, const char* name, const testdata::Bytes& bytes) {
    const std::string path = dir.filePath(QString::fromUtf8(name)).toStdString();
    if (testdata::WriteFile(path, bytes))
        return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    int seed = 0;
    for (const DemoPhoto& photo : kPhotos) {
        const testdata::Bytes jpeg = ToJpeg(Landscape(photo.sky, seed++));
        if (jpeg.size() < 4) {
            std::fprintf(stderr, "cannot encode JPEG images (is the Qt JPEG plugin there?)\n");
            return 1;
        }
        if (!Write(dir, photo.name, photo.taken != nullptr ? WithExif(jpeg, photo.taken) : jpeg))
            return 1;
    }
    // Damaged: the file ends in the middle of its EXIF block.
    testdata::Bytes damaged =
        WithExif(ToJpeg(Landscape(QColor(180, 180, 180), seed)), "2024:05:20 19:30:00");
    damaged.resize(60);
    return Write(dir, kDamagedName, damaged) ? 0 : 1;
}
