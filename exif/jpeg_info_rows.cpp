#include "jpeg_info_rows.h"

#include "ole_date.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Printf(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

std::string FileDate(std::time_t seconds) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr)
        return {};
    char text[64];
    std::strftime(text, sizeof(text), "%Y:%m:%d %H:%M:%S", &tm);
    return text;
}

// Truncated toward zero as a C cast does; 0 where no int can hold it (an
// absurd exposure or sensor width must not be undefined behaviour).
int TruncatedInt(double value) {
    return value > -2147483649.0 && value < 2147483648.0 ? static_cast<int>(value) : 0;
}

// "pixles" and "pixle" are the program's own long-standing spelling.
std::string SizeText(int width, int height) {
    const double n = static_cast<double>(
        static_cast<int>(static_cast<unsigned>(width) * static_cast<unsigned>(height)));
    if (n < 1000)
        return Printf("(size = %.1f pixles)", n);
    if (n < 1000000)
        return Printf("(size = %.1fK pixle)", n * 0.001);
    return Printf("(size = %.1fM pixle)", n * 0.000001);
}

// Without a sensor width there is no 35 mm equivalent to give.
std::string FocalLengthText(float focalLength, float ccdWidth) {
    if (ccdWidth == 0)
        return Printf("%4.1fmm", double(focalLength));
    const double equivalent = double(focalLength) / double(ccdWidth) * 36 + 0.5;
    const int mm = TruncatedInt(equivalent);
    return Printf("%4.1fmm (35mm equivalent: %dmm)", double(focalLength), mm);
}

std::string ExposureText(float exposure) {
    std::string suffix;
    if (exposure <= 0.5) {
        const double denominator = 1.0 / double(exposure) + 0.5;
        const int d = TruncatedInt(denominator);
        suffix = Printf(" (1/%d)", d);
    }
    return Printf(exposure < 0.01 ? "%6.4f s %s" : "%5.3f s %s", double(exposure), suffix.c_str());
}

const char* WhiteBalanceText(int code) {
    switch (code) {
    case 1:
        return "sunny";
    case 2:
        return "fluorescent";
    case 3:
        return "incandescent";
    default:
        return "cloudy";
    }
}

const char* MeteringText(int code) {
    switch (code) {
    case 2:
        return "center weight";
    case 3:
        return "spot";
    case 5:
        return "matrix";
    default:
        return "";
    }
}

const char* ExposureProgramText(int code) {
    switch (code) {
    case 2:
        return "program (auto)";
    case 3:
        return "aperture priority (semi-auto)";
    case 4:
        return "shutter priority (semi-auto)";
    default:
        return "";
    }
}

std::string ProcessText(const CJpegInfo& info) {
    std::string name;
    for (int row = 0; row < kProcessNameCount; ++row) {
        if (info.ProcessName(row, name))
            break;
    }
    return name;
}

} // namespace

std::vector<CInfoRow> JpegInfoRows(const CJpegInfo& info, const velmora::CFoundDate* taken,
                                   velmora::FileFormat format) {
    const bool frameHeader = format == velmora::FileFormat::Jpeg || info.m_nProcess != 0;
    std::vector<CInfoRow> rows;
    const auto add = [&rows](const char* label, std::string value) {
        rows.push_back({label, std::move(value)});
    };
    add("File Name:", info.m_szFileName);
    add("File Date:", FileDate(info.m_fileTime));
    if (info.m_szCameraMake[0] != '\0') {
        add("Camera make:", info.m_szCameraMake);
        add("Camera model:", info.m_szCameraModel);
    }
    if (info.m_dtTaken != 0)
        add("Date/Time:", velmora::ole::Format(info.m_dtTaken, "%Y/%m/%d %H:%M:%S"));
    if (info.m_dtTaken != 0 && taken != nullptr && taken->Found()) {
        std::string source(velmora::DateSourceText(taken->source));
        if (taken->HasOffset() && taken->source != velmora::DateSource::MovieHeader)
            source += ", " + velmora::OffsetText(taken->nOffset);
        add("Date source:", source);
    }
    // A JPEG shows every row as it always did; another type leaves out what
    // it does not hold: a size it never gave, a flash without camera data.
    const bool jpeg = format == velmora::FileFormat::Jpeg;
    if (jpeg || info.m_nWidth != 0 || info.m_nHeight != 0)
        add("Resolution:", Printf("%d x %d  %s", info.m_nWidth, info.m_nHeight,
                                  SizeText(info.m_nWidth, info.m_nHeight).c_str()));
    if (info.m_nOrientation > 0)
        add("Orientation  :", info.OrientationName());
    if (frameHeader)
        add("Color/BW:", info.m_bColor != 0 ? "Color" : "Black and White");
    if (info.m_bFlash >= 0 && (jpeg || info.m_szCameraMake[0] != '\0'))
        add("Flash used:", info.m_bFlash != 0 ? "Yes" : "No");
    if (info.m_fFocalLength != 0)
        add("Focal length:", FocalLengthText(info.m_fFocalLength, info.m_fCcdWidth));
    if (info.m_fCcdWidth != 0)
        add("CCD width:", Printf("%4.2fmm", double(info.m_fCcdWidth)));
    if (info.m_fExposureTime != 0)
        add("Exposure time:", ExposureText(info.m_fExposureTime));
    if (info.m_fAperture != 0)
        add("Aperture:", Printf("f/%3.1f", double(info.m_fAperture)));
    if (info.m_fDistance != 0)
        add("Focus dist.:", info.m_fDistance < 0 ? std::string("Infinite")
                                                 : Printf("%4.2fm", double(info.m_fDistance)));
    if (info.m_nIsoEquivalent != 0)
        add("ISO equiv.:", Printf("%2d", info.m_nIsoEquivalent));
    if (info.m_fExposureBias != 0)
        add("Exposure bias:", Printf("%4.2f", double(info.m_fExposureBias)));
    if (info.m_nWhiteBalance != 0)
        add("Whitebalance:", WhiteBalanceText(info.m_nWhiteBalance));
    if (info.m_nMeteringMode != 0)
        add("Metering Mode:", MeteringText(info.m_nMeteringMode));
    if (info.m_nExposureProgram != 0)
        add("Exposure:", ExposureProgramText(info.m_nExposureProgram));
    if (frameHeader)
        add("Jpeg process:", ProcessText(info));
    if (info.m_szComment[0] != '\0')
        add("Comment:", info.m_szComment);
    return rows;
}
