#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QVector>
#include <cstdint>
#include <cstring>

// Builds PCL XL byte streams for tests, remembering for every offset whether cutting the stream there
// ends it cleanly: at a token boundary or inside a dump. Elsewhere a cut is error 35.
struct XlStreamBuilder
{
    QByteArray bytes;
    QVector<bool> cleanCuts;

    XlStreamBuilder& raw(const QByteArray& token, bool isDump = false)
    {
        for (int i = 0; i < token.size(); ++i)
            cleanCuts.append(i == 0 || isDump);
        bytes += token;
        return *this;
    }
    XlStreamBuilder& uel() { return raw("\x1b%-12345X", true); }
    XlStreamBuilder& pjl(const QByteArray& line) { return raw("@" + line + "\n", true); }
    XlStreamBuilder& header() { return raw(") HP-PCL XL;2;0\n", true); }
    XlStreamBuilder& op(uint8_t tag) { return raw(QByteArray(1, char(tag))); }
    // A data type tag, its little-endian payload and the attribute it sets.
    XlStreamBuilder& value(uint8_t type, const QByteArray& payload, uint8_t attribute)
    {
        return raw(QByteArray(1, char(type)) + payload + "\xf8" + char(attribute));
    }
    XlStreamBuilder& ubyte(uint8_t v, uint8_t attr) { return value(0xc0, QByteArray(1, char(v)), attr); }
    XlStreamBuilder& real32xy(float x, float y, uint8_t attribute)
    {
        uint32_t bits[2];
        std::memcpy(&bits[0], &x, 4);
        std::memcpy(&bits[1], &y, 4);
        return value(0xd5, le(bits[0], 4) + le(bits[1], 4), attribute);
    }
    XlStreamBuilder& ubyteArray(const QByteArray& values, uint8_t attribute)
    {
        return value(0xc8, "\xc1" + le(uint32_t(values.size()), 2) + values, attribute);
    }
    XlStreamBuilder& embedded(const QByteArray& data)
    {
        if (data.size() < 256)
            return raw("\xfb" + QByteArray(1, char(data.size())) + data);
        return raw("\xfa" + le(uint32_t(data.size()), 4) + data);
    }
    // BeginSession, pages of BeginPage/EndPage, EndSession; pageCopies > 0 gives each EndPage a
    // PageCopies attribute (ubyte). Pages are A4 (MediaSize 2) unless another media size is given.
    XlStreamBuilder& session(int pages, int pageCopies = 0, uint8_t mediaSize = 2)
    {
        value(0xd1, le(600, 2) + le(600, 2), 0x89).ubyte(0, 0x86).op(0x41);
        for (int i = 0; i < pages; ++i) {
            ubyte(0, 0x28).ubyte(mediaSize, 0x25).op(0x43);
            if (pageCopies > 0)
                ubyte(uint8_t(pageCopies), 49);
            op(0x44);
        }
        return op(0x42);
    }

    static QByteArray le(uint32_t value, int width)
    {
        QByteArray out;
        for (int i = 0; i < width; ++i)
            out += char((value >> (8 * i)) & 0xFF);
        return out;
    }
};

// Writes a test file into dir, under a new name unless one is given; returns its path.
inline QString writeTestFile(const QTemporaryDir& dir, const QByteArray& bytes, const QString& name = {})
{
    static int files = 0;
    QFile f(dir.filePath(name.isEmpty() ? QString::number(++files) : name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return f.fileName();
}

// Attribute numbers and operator tags the tests use.
namespace xlt {
constexpr uint8_t ColorSpace = 3, RGBColor = 11, MediaSize = 37, CustomMediaSize = 47,
                  CustomMediaSizeUnits = 48, PageCopies = 49, DuplexPageMode = 53, Point = 76, PointType = 80,
                  TextData = 171;
constexpr uint8_t SetColorSpace = 0x6A, SetBrushSource = 0x63, LinePath = 0x9B, Text = 0xA8;
} // namespace xlt
