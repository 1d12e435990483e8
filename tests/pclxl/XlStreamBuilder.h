#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <QVector>
#include <cstdint>
#include <cstring>

// Builds PCL XL byte streams for tests, remembering where each token starts so that tests can cut
// the stream at every boundary.
class XlStreamBuilder
{
public:
    // How a cut inside the last token added ends: cleanly (dumps end at the end of input) or with error 35.
    enum CutInside
    {
        CutIsClean,
        CutIsTruncation
    };

    QByteArray bytes;
    QVector<int> starts;        // offset of each token
    QVector<CutInside> insides; // what a cut inside that token means

    XlStreamBuilder& raw(const QByteArray& token, CutInside inside = CutIsTruncation)
    {
        starts.append(bytes.size());
        insides.append(inside);
        bytes += token;
        return *this;
    }
    XlStreamBuilder& uel() { return raw(QByteArray("\x1b%-12345X"), CutIsClean); }
    XlStreamBuilder& pjl(const QByteArray& line) { return raw("@" + line + "\n", CutIsClean); }
    XlStreamBuilder& header() { return raw(QByteArray(") HP-PCL XL;2;0\n"), CutIsClean); }
    XlStreamBuilder& op(uint8_t tag) { return raw(QByteArray(1, char(tag))); }
    XlStreamBuilder& ubyte(uint8_t value, uint8_t attribute)
    {
        return raw(QByteArray("\xc0", 1) + char(value) + "\xf8" + char(attribute));
    }
    XlStreamBuilder& uint16(uint16_t value, uint8_t attribute)
    {
        return raw(QByteArray("\xc1", 1) + le(value, 2) + "\xf8" + char(attribute));
    }
    XlStreamBuilder& uint16xy(uint16_t x, uint16_t y, uint8_t attribute)
    {
        return raw(QByteArray("\xd1", 1) + le(x, 2) + le(y, 2) + "\xf8" + char(attribute));
    }
    XlStreamBuilder& real32xy(float x, float y, uint8_t attribute)
    {
        return raw(QByteArray("\xd5", 1) + real(x) + real(y) + "\xf8" + char(attribute));
    }
    XlStreamBuilder& ubyteArray(const QByteArray& values, uint8_t attribute)
    {
        return raw(QByteArray("\xc8\xc1", 2) + le(uint32_t(values.size()), 2) + values + "\xf8" +
                   char(attribute));
    }
    XlStreamBuilder& embedded(const QByteArray& data)
    {
        if (data.size() < 256)
            return raw(QByteArray("\xfb", 1) + char(data.size()) + data);
        return raw(QByteArray("\xfa", 1) + le(uint32_t(data.size()), 4) + data);
    }
    // A session of pages: BeginSession, pages of BeginPage/EndPage, EndSession.
    XlStreamBuilder& session(int pages)
    {
        uint16xy(600, 600, 0x89).ubyte(0, 0x86).op(0x41);
        for (int i = 0; i < pages; ++i)
            ubyte(0, 0x28).ubyte(2, 0x25).op(0x43).op(0x44);
        return op(0x42);
    }

    static QByteArray le(uint32_t value, int width)
    {
        QByteArray out;
        for (int i = 0; i < width; ++i)
            out += char((value >> (8 * i)) & 0xFF);
        return out;
    }
    static QByteArray real(float value)
    {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return le(bits, 4);
    }
};

// Attribute numbers and operator tags the tests use.
namespace xlt {
constexpr uint8_t ColorSpace = 3, RGBColor = 11, GrayLevel = 9, MediaSize = 37, CustomMediaSize = 47,
                  CustomMediaSizeUnits = 48, DuplexPageMode = 53, Point = 76, PointType = 80, TextData = 171;
constexpr uint8_t SetColorSpace = 0x6A, SetBrushSource = 0x63, LinePath = 0x9B, NewPath = 0x85, Text = 0xA8;
} // namespace xlt
