#include "XlSymbols.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

// Set whenever a look-up yields the enumeration "eRGB"; process-wide, cleared by the driver.

namespace {

constexpr uint16_t OP = XL_CLASS_OPERATOR;
constexpr uint16_t AT = XL_CLASS_ATTRIBUTE;
constexpr uint16_t EN = XL_CLASS_ENUMERATION;
constexpr uint16_t DT = XL_CLASS_DATATYPE;

} // namespace

// Operator, attribute and enumeration numbers of the PCL XL class 2.0/2.1 protocol.
const XlSymbol xlSymbolTable[] = {
    {"Operator_Symbols", XL_CLASS_MARKER, OP, 0},
    {"BeginSession", OP, 0x41, XL_QUAL_OPERATOR},
    {"EndSession", OP, 0x42, XL_QUAL_OPERATOR},
    {"BeginPage", OP, 0x43, XL_QUAL_OPERATOR},
    {"EndPage", OP, 0x44, XL_QUAL_OPERATOR},
    {"VendorUnique", OP, 0x46, XL_QUAL_OPERATOR},
    // 0x47 is listed under its vendor-unique name; Comment, its use since class 2.0, is the second name.
    {"VendorUnique", OP, 0x47, XL_QUAL_OPERATOR},
    {"Comment", OP, 0x47, XL_QUAL_ALIAS},
    {"OpenDataSource", OP, 0x48, XL_QUAL_OPERATOR},
    {"CloseDataSource", OP, 0x49, XL_QUAL_OPERATOR},
    {"EchoComment", OP, 0x4A, XL_QUAL_OPERATOR},
    {"Query", OP, 0x4B, XL_QUAL_OPERATOR},
    {"BeginFontHeader", OP, 0x4F, XL_QUAL_OPERATOR},
    {"ReadFontHeader", OP, 0x50, XL_QUAL_OPERATOR},
    {"EndFontHeader", OP, 0x51, XL_QUAL_OPERATOR},
    {"BeginChar", OP, 0x52, XL_QUAL_OPERATOR},
    {"ReadChar", OP, 0x53, XL_QUAL_OPERATOR},
    {"EndChar", OP, 0x54, XL_QUAL_OPERATOR},
    {"RemoveFont", OP, 0x55, XL_QUAL_OPERATOR},
    {"BeginStream", OP, 0x5B, XL_QUAL_OPERATOR},
    {"ReadStream", OP, 0x5C, XL_QUAL_OPERATOR},
    {"EndStream", OP, 0x5D, XL_QUAL_OPERATOR},
    {"ExecStream", OP, 0x5E, XL_QUAL_OPERATOR},
    {"PopGS", OP, 0x60, XL_QUAL_OPERATOR},
    {"PushGS", OP, 0x61, XL_QUAL_OPERATOR},
    {"SetClipReplace", OP, 0x62, XL_QUAL_OPERATOR},
    {"SetBrushSource", OP, 0x63, XL_QUAL_OPERATOR},
    {"SetCharAngle", OP, 0x64, XL_QUAL_OPERATOR},
    {"SetCharScale", OP, 0x65, XL_QUAL_OPERATOR},
    {"SetCharShear", OP, 0x66, XL_QUAL_OPERATOR},
    {"SetClipIntersect", OP, 0x67, XL_QUAL_OPERATOR},
    {"SetClipRectangle", OP, 0x68, XL_QUAL_OPERATOR},
    {"SetClipToPage", OP, 0x69, XL_QUAL_OPERATOR},
    {"SetColorSpace", OP, 0x6A, XL_QUAL_OPERATOR},
    {"SetCursor", OP, 0x6B, XL_QUAL_OPERATOR},
    {"SetCursorRel", OP, 0x6C, XL_QUAL_OPERATOR},
    {"SetHalftoneMethod", OP, 0x6D, XL_QUAL_OPERATOR},
    {"SetDitherMatrix", OP, 0x6D, XL_QUAL_ALIAS},
    {"SetFillMode", OP, 0x6E, XL_QUAL_OPERATOR},
    {"SetFont", OP, 0x6F, XL_QUAL_OPERATOR},
    {"SetLineDash", OP, 0x70, XL_QUAL_OPERATOR},
    {"SetLineCap", OP, 0x71, XL_QUAL_OPERATOR},
    {"SetLineJoin", OP, 0x72, XL_QUAL_OPERATOR},
    {"SetMiterLimit", OP, 0x73, XL_QUAL_OPERATOR},
    {"SetPageDefaultCTM", OP, 0x74, XL_QUAL_OPERATOR},
    {"SetPageOrigin", OP, 0x75, XL_QUAL_OPERATOR},
    {"SetPageRotation", OP, 0x76, XL_QUAL_OPERATOR},
    {"SetPageScale", OP, 0x77, XL_QUAL_OPERATOR},
    {"SetPaintTxMode", OP, 0x78, XL_QUAL_OPERATOR},
    {"SetPenSource", OP, 0x79, XL_QUAL_OPERATOR},
    {"SetPenWidth", OP, 0x7A, XL_QUAL_OPERATOR},
    {"SetROP", OP, 0x7B, XL_QUAL_OPERATOR},
    {"SetSourceTxMode", OP, 0x7C, XL_QUAL_OPERATOR},
    {"SetCharBoldValue", OP, 0x7D, XL_QUAL_OPERATOR},
    {"SetClipMode", OP, 0x7F, XL_QUAL_OPERATOR},
    {"SetPathToClip", OP, 0x80, XL_QUAL_OPERATOR},
    {"SetCharSubMode", OP, 0x81, XL_QUAL_OPERATOR},
    {"CloseSubPath", OP, 0x84, XL_QUAL_OPERATOR},
    {"NewPath", OP, 0x85, XL_QUAL_OPERATOR},
    {"PaintPath", OP, 0x86, XL_QUAL_OPERATOR},
    {"ArcPath", OP, 0x91, XL_QUAL_OPERATOR},
    {"BezierPath", OP, 0x93, XL_QUAL_OPERATOR},
    {"BezierRelPath", OP, 0x95, XL_QUAL_OPERATOR},
    {"Chord", OP, 0x96, XL_QUAL_OPERATOR},
    {"ChordPath", OP, 0x97, XL_QUAL_OPERATOR},
    {"Ellipse", OP, 0x98, XL_QUAL_OPERATOR},
    {"EllipsePath", OP, 0x99, XL_QUAL_OPERATOR},
    {"LinePath", OP, 0x9B, XL_QUAL_OPERATOR},
    {"LineRelPath", OP, 0x9D, XL_QUAL_OPERATOR},
    {"Pie", OP, 0x9E, XL_QUAL_OPERATOR},
    {"PiePath", OP, 0x9F, XL_QUAL_OPERATOR},
    {"Rectangle", OP, 0xA0, XL_QUAL_OPERATOR},
    {"RectanglePath", OP, 0xA1, XL_QUAL_OPERATOR},
    {"RoundRectangle", OP, 0xA2, XL_QUAL_OPERATOR},
    {"RoundRectanglePath", OP, 0xA3, XL_QUAL_OPERATOR},
    {"Text", OP, 0xA8, XL_QUAL_OPERATOR},
    {"TextPath", OP, 0xA9, XL_QUAL_OPERATOR},
    {"SystemText", OP, 0xAA, XL_QUAL_OPERATOR},
    {"BeginImage", OP, 0xB0, XL_QUAL_OPERATOR},
    {"ReadImage", OP, 0xB1, XL_QUAL_OPERATOR},
    {"EndImage", OP, 0xB2, XL_QUAL_OPERATOR},
    {"BeginRastPattern", OP, 0xB3, XL_QUAL_OPERATOR},
    {"ReadRastPattern", OP, 0xB4, XL_QUAL_OPERATOR},
    {"EndRastPattern", OP, 0xB5, XL_QUAL_OPERATOR},
    {"BeginScan", OP, 0xB6, XL_QUAL_OPERATOR},
    {"EndScan", OP, 0xB8, XL_QUAL_OPERATOR},
    {"ScanLineRel", OP, 0xB9, XL_QUAL_OPERATOR},
    {"PassThrough", OP, 0xBF, XL_QUAL_OPERATOR},

    {"Attribute_Symbols", XL_CLASS_MARKER, AT, 0},
    {"PaletteDepth", AT, 2, XL_QUAL_ATTRIBUTE},
    {"ColorSpace", AT, 3, XL_QUAL_ATTRIBUTE},
    {"DDColorSpace", AT, 3, XL_QUAL_ALIAS},
    {"NullBrush", AT, 4, XL_QUAL_ATTRIBUTE},
    {"NullPen", AT, 5, XL_QUAL_ATTRIBUTE},
    {"PaletteData", AT, 6, XL_QUAL_ATTRIBUTE},
    {"PatternSelectID", AT, 8, XL_QUAL_ATTRIBUTE},
    {"GrayLevel", AT, 9, XL_QUAL_ATTRIBUTE},
    {"RGBColor", AT, 11, XL_QUAL_ATTRIBUTE},
    {"PatternOrigin", AT, 12, XL_QUAL_ATTRIBUTE},
    {"NewDestinationSize", AT, 13, XL_QUAL_ATTRIBUTE},
    {"PrimaryArray", AT, 14, XL_QUAL_ATTRIBUTE},
    {"PrimaryDepth", AT, 15, XL_QUAL_ATTRIBUTE},
    {"ColorimetricColorSpace", AT, 17, XL_QUAL_ATTRIBUTE},
    {"XYChromaticities", AT, 18, XL_QUAL_ATTRIBUTE},
    {"WhiteReferencePoint", AT, 19, XL_QUAL_ATTRIBUTE},
    {"CRGBMinMax", AT, 20, XL_QUAL_ATTRIBUTE},
    {"GammaGain", AT, 21, XL_QUAL_ATTRIBUTE},
    {"DeviceMatrix", AT, 33, XL_QUAL_ATTRIBUTE},
    {"DitherMatrixDataType", AT, 34, XL_QUAL_ATTRIBUTE},
    {"DitherOrigin", AT, 35, XL_QUAL_ATTRIBUTE},
    {"MediaDestination", AT, 36, XL_QUAL_ATTRIBUTE},
    {"MediaSize", AT, 37, XL_QUAL_ATTRIBUTE},
    {"MediaSource", AT, 38, XL_QUAL_ATTRIBUTE},
    {"MediaType", AT, 39, XL_QUAL_ATTRIBUTE},
    {"Orientation", AT, 40, XL_QUAL_ATTRIBUTE},
    {"PageAngle", AT, 41, XL_QUAL_ATTRIBUTE},
    {"PageOrigin", AT, 42, XL_QUAL_ATTRIBUTE},
    {"PageScale", AT, 43, XL_QUAL_ATTRIBUTE},
    {"ROP3", AT, 44, XL_QUAL_ATTRIBUTE},
    {"TxMode", AT, 45, XL_QUAL_ATTRIBUTE},
    {"CustomMediaSize", AT, 47, XL_QUAL_ATTRIBUTE},
    {"CustomMediaSizeUnits", AT, 48, XL_QUAL_ATTRIBUTE},
    {"PageCopies", AT, 49, XL_QUAL_ATTRIBUTE},
    {"DitherMatrixSize", AT, 50, XL_QUAL_ATTRIBUTE},
    {"DitherMatrixDepth", AT, 51, XL_QUAL_ATTRIBUTE},
    {"SimplexPageMode", AT, 52, XL_QUAL_ATTRIBUTE},
    {"DuplexPageMode", AT, 53, XL_QUAL_ATTRIBUTE},
    {"DuplexPageSide", AT, 54, XL_QUAL_ATTRIBUTE},
    {"ArcDirection", AT, 65, XL_QUAL_ATTRIBUTE},
    {"BoundingBox", AT, 66, XL_QUAL_ATTRIBUTE},
    {"DashOffset", AT, 67, XL_QUAL_ATTRIBUTE},
    {"EllipseDimension", AT, 68, XL_QUAL_ATTRIBUTE},
    {"EndPoint", AT, 69, XL_QUAL_ATTRIBUTE},
    {"FillMode", AT, 70, XL_QUAL_ATTRIBUTE},
    {"LineCapStyle", AT, 71, XL_QUAL_ATTRIBUTE},
    {"LineJoinStyle", AT, 72, XL_QUAL_ATTRIBUTE},
    {"MiterLength", AT, 73, XL_QUAL_ATTRIBUTE},
    {"LineDashStyle", AT, 74, XL_QUAL_ATTRIBUTE},
    {"PenWidth", AT, 75, XL_QUAL_ATTRIBUTE},
    {"Point", AT, 76, XL_QUAL_ATTRIBUTE},
    {"NumberOfPoints", AT, 77, XL_QUAL_ATTRIBUTE},
    {"SolidLine", AT, 78, XL_QUAL_ATTRIBUTE},
    {"StartPoint", AT, 79, XL_QUAL_ATTRIBUTE},
    {"PointType", AT, 80, XL_QUAL_ATTRIBUTE},
    {"ControlPoint1", AT, 81, XL_QUAL_ATTRIBUTE},
    {"ControlPoint2", AT, 82, XL_QUAL_ATTRIBUTE},
    {"ClipRegion", AT, 83, XL_QUAL_ATTRIBUTE},
    {"ClipMode", AT, 84, XL_QUAL_ATTRIBUTE},
    {"ColorDepth", AT, 98, XL_QUAL_ATTRIBUTE},
    {"PixelDepth", AT, 98, XL_QUAL_ALIAS},
    {"BlockHeight", AT, 99, XL_QUAL_ATTRIBUTE},
    {"ColorMapping", AT, 100, XL_QUAL_ATTRIBUTE},
    {"PixelEncoding", AT, 100, XL_QUAL_ALIAS},
    {"CompressMode", AT, 101, XL_QUAL_ATTRIBUTE},
    {"DestinationBox", AT, 102, XL_QUAL_ATTRIBUTE},
    {"DestinationSize", AT, 103, XL_QUAL_ATTRIBUTE},
    {"PatternPersistence", AT, 104, XL_QUAL_ATTRIBUTE},
    {"PatternDefineID", AT, 105, XL_QUAL_ATTRIBUTE},
    {"SourceHeight", AT, 107, XL_QUAL_ATTRIBUTE},
    {"SourceWidth", AT, 108, XL_QUAL_ATTRIBUTE},
    {"StartLine", AT, 109, XL_QUAL_ATTRIBUTE},
    {"PadBytesMultiple", AT, 110, XL_QUAL_ATTRIBUTE},
    {"BlockByteLength", AT, 111, XL_QUAL_ATTRIBUTE},
    {"NumberOfScanLines", AT, 115, XL_QUAL_ATTRIBUTE},
    {"VendorUniqueData", AT, 129, XL_QUAL_ATTRIBUTE},
    {"CommentData", AT, 129, XL_QUAL_ALIAS},
    {"DataOrg", AT, 130, XL_QUAL_ATTRIBUTE},
    {"Measure", AT, 134, XL_QUAL_ATTRIBUTE},
    {"SourceType", AT, 136, XL_QUAL_ATTRIBUTE},
    {"UnitsPerMeasure", AT, 137, XL_QUAL_ATTRIBUTE},
    {"QueryKey", AT, 138, XL_QUAL_ATTRIBUTE},
    {"StreamName", AT, 139, XL_QUAL_ATTRIBUTE},
    {"StreamDataLength", AT, 140, XL_QUAL_ATTRIBUTE},
    {"ErrorReport", AT, 143, XL_QUAL_ATTRIBUTE},
    {"VUExtension", AT, 145, XL_QUAL_ATTRIBUTE},
    {"CharAngle", AT, 161, XL_QUAL_ATTRIBUTE},
    {"CharCode", AT, 162, XL_QUAL_ATTRIBUTE},
    {"CharDataSize", AT, 163, XL_QUAL_ATTRIBUTE},
    {"CharScale", AT, 164, XL_QUAL_ATTRIBUTE},
    {"CharShear", AT, 165, XL_QUAL_ATTRIBUTE},
    {"CharSize", AT, 166, XL_QUAL_ATTRIBUTE},
    {"FontHeaderLength", AT, 167, XL_QUAL_ATTRIBUTE},
    {"FontName", AT, 168, XL_QUAL_ATTRIBUTE},
    {"FontFormat", AT, 169, XL_QUAL_ATTRIBUTE},
    {"SymbolSet", AT, 170, XL_QUAL_ATTRIBUTE},
    {"TextData", AT, 171, XL_QUAL_ATTRIBUTE},
    {"CharSubModeArray", AT, 172, XL_QUAL_ATTRIBUTE},
    {"WritingMode", AT, 173, XL_QUAL_ATTRIBUTE},
    {"XSpacingData", AT, 175, XL_QUAL_ATTRIBUTE},
    {"YSpacingData", AT, 176, XL_QUAL_ATTRIBUTE},
    {"CharBoldValue", AT, 177, XL_QUAL_ATTRIBUTE},

    {"Enumeration_Symbols", XL_CLASS_MARKER, EN, 0},
    {"eGray", EN, 1, 3},
    {"eRGB", EN, 2, 3},
    {"eSRGB", EN, 6, 3},
    {"eLetterPaper", EN, 0, 37},
    {"eLegalPaper", EN, 1, 37},
    {"eA4Paper", EN, 2, 37},
    {"eExecPaper", EN, 3, 37},
    {"eLedgerPaper", EN, 4, 37},
    {"eA3Paper", EN, 5, 37},
    {"eCOM10Envelope", EN, 6, 37},
    {"eMonarchEnvelope", EN, 7, 37},
    {"eC5Envelope", EN, 8, 37},
    {"eDLEnvelope", EN, 9, 37},
    {"eJB4Paper", EN, 10, 37},
    {"eJB5Paper", EN, 11, 37},
    {"eB5Envelope", EN, 12, 37},
    {"eJPostcard", EN, 14, 37},
    {"eJDoublePostcard", EN, 15, 37},
    {"eA5Paper", EN, 16, 37},
    {"eA6Paper", EN, 17, 37},
    {"eDefaultDestination", EN, 0, 36},
    {"eFaceDownBin", EN, 1, 36},
    {"eFaceUpBin", EN, 2, 36},
    {"eJobOffsetBin", EN, 3, 36},
    {"eDefaultSource", EN, 0, 38},
    {"eAutoSelect", EN, 1, 38},
    {"eManualFeed", EN, 2, 38},
    {"eMultiPurposeTray", EN, 3, 38},
    {"eUpperCassette", EN, 4, 38},
    {"eLowerCassette", EN, 5, 38},
    {"eEnvelopeTray", EN, 6, 38},
    {"eThirdCassette", EN, 7, 38},
    {"ePortraitOrientation", EN, 0, 40},
    {"eLandscapeOrientation", EN, 1, 40},
    {"eReversePortrait", EN, 2, 40},
    {"eReverseLandscape", EN, 3, 40},
    {"eOpaque", EN, 0, 45},
    {"eTransparent", EN, 1, 45},
    {"eSimplexFrontSide", EN, 0, 52},
    {"eDuplexHorizontalBinding", EN, 0, 53},
    {"eDuplexVerticalBinding", EN, 1, 53},
    {"eFrontMediaSide", EN, 0, 54},
    {"eBackMediaSide", EN, 1, 54},
    {"eClockWise", EN, 0, 65},
    {"eCounterClockWise", EN, 1, 65},
    {"eNonZeroWinding", EN, 0, 70},
    {"eEvenOdd", EN, 1, 70},
    {"eButtCap", EN, 0, 71},
    {"eRoundCap", EN, 1, 71},
    {"eSquareCap", EN, 2, 71},
    {"eTriangleCap", EN, 3, 71},
    {"eMiterJoin", EN, 0, 72},
    {"eRoundJoin", EN, 1, 72},
    {"eBevelJoin", EN, 2, 72},
    {"eNoJoin", EN, 3, 72},
    {"eUByte", EN, 0, 80},
    {"eSByte", EN, 1, 80},
    {"eUInt16", EN, 2, 80},
    {"eSInt16", EN, 3, 80},
    {"eInterior", EN, 0, 83},
    {"eExterior", EN, 1, 83},
    {"eNonZeroWinding", EN, 0, 84},
    {"eEvenOdd", EN, 1, 84},
    {"e1Bit", EN, 0, 98},
    {"e4Bit", EN, 1, 98},
    {"e8Bit", EN, 2, 98},
    {"eDirectPixel", EN, 0, 100},
    {"eIndexedPixel", EN, 1, 100},
    {"eNoCompression", EN, 0, 101},
    {"eRLECompression", EN, 1, 101},
    {"eJPEGCompression", EN, 2, 101},
    {"eDeltaRowCompression", EN, 3, 101},
    {"eTempPattern", EN, 0, 104},
    {"ePagePattern", EN, 1, 104},
    {"eSessionPattern", EN, 2, 104},
    {"eBinaryHighByteFirst", EN, 0, 130},
    {"eBinaryLowByteFirst", EN, 1, 130},
    {"eInch", EN, 0, 134},
    {"eMillimeter", EN, 1, 134},
    {"eTenthsOfAMillimeter", EN, 2, 134},
    {"eDefaultDataSource", EN, 0, 136},
    {"eNoReporting", EN, 0, 143},
    {"eBackChannel", EN, 1, 143},
    {"eErrorPage", EN, 2, 143},
    {"eBackChAndErrPage", EN, 3, 143},
    {"eNWBackChannel", EN, 4, 143},
    {"eNWErrorPage", EN, 5, 143},
    {"eNWBackChAndErrPage", EN, 6, 143},
    {"eNoSubstitution", EN, 0, 172},
    {"eVerticalSubstitution", EN, 1, 172},
    {"eHorizontal", EN, 0, 173},
    {"eVertical", EN, 1, 173},

    {"DataTypHP_Symbols", XL_CLASS_MARKER, DT, 0},
    {"ubyte", DT, XL_UBYTE, XL_QUAL_DATATYPE},
    {"uint16", DT, XL_UINT16, XL_QUAL_DATATYPE},
    {"sint16", DT, XL_SINT16, XL_QUAL_DATATYPE},
    {"uint32", DT, XL_UINT32, XL_QUAL_DATATYPE},
    {"sint32", DT, XL_SINT32, XL_QUAL_DATATYPE},
    {"real32", DT, XL_REAL32, XL_QUAL_DATATYPE},
    {"ubyte_xy", DT, XL_SHAPE_XY | XL_UBYTE, XL_QUAL_DATATYPE},
    {"uint16_xy", DT, XL_SHAPE_XY | XL_UINT16, XL_QUAL_DATATYPE},
    {"sint16_xy", DT, XL_SHAPE_XY | XL_SINT16, XL_QUAL_DATATYPE},
    {"uint32_xy", DT, XL_SHAPE_XY | XL_UINT32, XL_QUAL_DATATYPE},
    {"sint32_xy", DT, XL_SHAPE_XY | XL_SINT32, XL_QUAL_DATATYPE},
    {"real32_xy", DT, XL_SHAPE_XY | XL_REAL32, XL_QUAL_DATATYPE},
    {"ubyte_box", DT, XL_SHAPE_BOX | XL_UBYTE, XL_QUAL_DATATYPE},
    {"uint16_box", DT, XL_SHAPE_BOX | XL_UINT16, XL_QUAL_DATATYPE},
    {"sint16_box", DT, XL_SHAPE_BOX | XL_SINT16, XL_QUAL_DATATYPE},
    {"uint32_box", DT, XL_SHAPE_BOX | XL_UINT32, XL_QUAL_DATATYPE},
    {"sint32_box", DT, XL_SHAPE_BOX | XL_SINT32, XL_QUAL_DATATYPE},
    {"real32_box", DT, XL_SHAPE_BOX | XL_REAL32, XL_QUAL_DATATYPE},
    {"ubyte_array", DT, XL_SHAPE_ARRAY | XL_UBYTE, XL_QUAL_DATATYPE},
    {"uint16_array", DT, XL_SHAPE_ARRAY | XL_UINT16, XL_QUAL_DATATYPE},
    {"sint16_array", DT, XL_SHAPE_ARRAY | XL_SINT16, XL_QUAL_DATATYPE},
    {"uint32_array", DT, XL_SHAPE_ARRAY | XL_UINT32, XL_QUAL_DATATYPE},
    {"sint32_array", DT, XL_SHAPE_ARRAY | XL_SINT32, XL_QUAL_DATATYPE},
    {"real32_array", DT, XL_SHAPE_ARRAY | XL_REAL32, XL_QUAL_DATATYPE},
    // The assembler's pointer forms.
    {"ubyte*", DT, XL_SHAPE_ARRAY | XL_UBYTE, XL_QUAL_ALIAS},
    {"uint16*", DT, XL_SHAPE_ARRAY | XL_UINT16, XL_QUAL_ALIAS},
    {"sint16*", DT, XL_SHAPE_ARRAY | XL_SINT16, XL_QUAL_ALIAS},
    {"uint32*", DT, XL_SHAPE_ARRAY | XL_UINT32, XL_QUAL_ALIAS},
    {"sint32*", DT, XL_SHAPE_ARRAY | XL_SINT32, XL_QUAL_ALIAS},
    {"real32*", DT, XL_SHAPE_ARRAY | XL_REAL32, XL_QUAL_ALIAS},
    {"dataLength", DT, XL_DATA_LENGTH, XL_QUAL_DATATYPE},
    {"dataLengthByte", DT, XL_DATA_LENGTH_BYTE, XL_QUAL_DATATYPE},

    // Embedded-data forms of the assembler.
    {"hex_raw*", XL_CLASS_HEX_RAW, 0, XL_QUAL_DATATYPE},
    {"hex32_raw*", XL_CLASS_HEX32_RAW, 0, XL_QUAL_DATATYPE},
    {"ubyte_source*", XL_CLASS_SOURCE, XL_UBYTE, XL_QUAL_DATATYPE},
    {"sbyte_source*", XL_CLASS_SOURCE, XL_SBYTE, XL_QUAL_DATATYPE},
    {"uint16_source*", XL_CLASS_SOURCE, XL_UINT16, XL_QUAL_DATATYPE},
    {"sint16_source*", XL_CLASS_SOURCE, XL_SINT16, XL_QUAL_DATATYPE},
    {"uint32_source*", XL_CLASS_SOURCE, XL_UINT32, XL_QUAL_DATATYPE},
    {"sint32_source*", XL_CLASS_SOURCE, XL_SINT32, XL_QUAL_DATATYPE},
    {"real32_source*", XL_CLASS_SOURCE, XL_REAL32, XL_QUAL_DATATYPE},
    {"ubyte_raw*", XL_CLASS_RAW, XL_UBYTE, XL_QUAL_ALIAS},
    {"sbyte_raw*", XL_CLASS_RAW, XL_SBYTE, XL_QUAL_ALIAS},
    {"uint16_raw*", XL_CLASS_RAW, XL_UINT16, XL_QUAL_ALIAS},
    {"sint16_raw*", XL_CLASS_RAW, XL_SINT16, XL_QUAL_ALIAS},
    {"uint32_raw*", XL_CLASS_RAW, XL_UINT32, XL_QUAL_ALIAS},
    {"sint32_raw*", XL_CLASS_RAW, XL_SINT32, XL_QUAL_ALIAS},
    {"real32_raw*", XL_CLASS_RAW, XL_REAL32, XL_QUAL_ALIAS},
};

const size_t xlSymbolCount = sizeof(xlSymbolTable) / sizeof(xlSymbolTable[0]);

namespace {

constexpr std::array<uint8_t, 256> makeTagClasses()
{
    std::array<uint8_t, 256> classes{};
    for (int tag = 0x41; tag <= 0xBF; ++tag)
        classes[tag] = XL_TAG_OPERATOR;
    const int reserved[][2] = {{0x45, 0x45}, {0x4C, 0x4E}, {0x56, 0x5A}, {0x5F, 0x5F}, {0x7E, 0x7E},
                               {0x82, 0x83}, {0x87, 0x90}, {0x92, 0x92}, {0x94, 0x94}, {0x9A, 0x9A},
                               {0x9C, 0x9C}, {0xA4, 0xA7}, {0xAB, 0xAF}, {0xB7, 0xB7}, {0xBA, 0xBE}};
    for (const auto& range : reserved)
        for (int tag = range[0]; tag <= range[1]; ++tag)
            classes[tag] = XL_TAG_ERROR;
    for (int group = 0xC0; group <= 0xE8; group += 8)
        for (int tag = group; tag <= group + 5; ++tag)
            classes[tag] = XL_TAG_DATATYPE;
    classes[0x1B] = XL_TAG_UEL;
    classes[0x27] = classes[0x28] = classes[0x29] = XL_TAG_HEADER;
    classes[0x40] = XL_TAG_PJL;
    classes[0xF8] = XL_TAG_ATTRIBUTE_ID;
    classes[0xFA] = XL_TAG_EMBEDDED32;
    classes[0xFB] = XL_TAG_EMBEDDED8;
    return classes;
}

} // namespace

const std::array<uint8_t, 256> xlTagClass = makeTagClasses();

uint32_t xl_datatype_code(uint8_t tag)
{
    // Within a group of eight tags: ubyte, uint16, uint32, sint16, sint32, real32.
    static constexpr uint32_t kBase[8] = {XL_UBYTE,  XL_UINT16, XL_UINT32, XL_SINT16,
                                          XL_SINT32, XL_REAL32, 0,         0};
    const uint32_t base = kBase[tag & 7];
    switch (tag & 0xF8) {
    case 0xC0:
        return base;
    case 0xC8:
        return XL_SHAPE_ARRAY | base;
    case 0xD0:
        return XL_SHAPE_XY | base;
    case 0xE0:
        return XL_SHAPE_BOX | base;
    default:
        return XL_UBYTE;
    }
}

unsigned xl_element_width(uint32_t code)
{
    switch (code & 0x0F) {
    case XL_UINT16:
    case XL_SINT16:
        return 2;
    case XL_UINT32:
    case XL_SINT32:
    case XL_REAL32:
        return 4;
    default:
        return 1;
    }
}

unsigned xl_shape_count(uint32_t code)
{
    switch (code & 0x30) {
    case XL_SHAPE_XY:
        return 2;
    case XL_SHAPE_BOX:
        return 4;
    default:
        return 1;
    }
}

bool xl_symbol_less(const XlSymbol& a, const XlSymbol& b)
{
    if (a.cls != b.cls)
        return a.cls < b.cls;
    if (a.value != b.value)
        return a.value < b.value;
    return a.qualifier < b.qualifier;
}

namespace {

struct FastTablesHolder
{
    XlFastTables tables{};
    std::vector<XlSymbol> enums;

    FastTablesHolder()
    {
        for (size_t i = 0; i < xlSymbolCount; ++i) {
            const XlSymbol& s = xlSymbolTable[i];
            if (s.cls == XL_CLASS_OPERATOR && s.qualifier == XL_QUAL_OPERATOR && s.value < 256)
                tables.operatorByTag[s.value] = &s;
            else if (s.cls == XL_CLASS_ATTRIBUTE && s.qualifier == XL_QUAL_ATTRIBUTE && s.value < 256)
                tables.attributeByNumber[s.value] = &s;
            else if (s.cls == XL_CLASS_DATATYPE && s.qualifier == XL_QUAL_DATATYPE && s.value < 64)
                tables.datatypeByCode[s.value] = &s;
            else if (s.cls == XL_CLASS_ENUMERATION && s.qualifier >= 0 && s.qualifier < 256)
                enums.push_back(s);
        }
        // Grouped by attribute, then by value, so each attribute owns one contiguous range.
        std::sort(enums.begin(), enums.end(), [](const XlSymbol& a, const XlSymbol& b) {
            return a.qualifier != b.qualifier ? a.qualifier < b.qualifier : a.value < b.value;
        });
        for (const XlSymbol& e : enums) {
            const auto attribute = static_cast<size_t>(e.qualifier);
            if (!tables.enumBegin[attribute])
                tables.enumBegin[attribute] = &e;
            tables.enumEnd[attribute] = &e + 1;
            tables.attributeHasEnums[attribute] = true;
        }
        // Path operators take the points that follow them as embedded data; every other operator
        // ends the element typing a PointType attribute started.
        for (int tag = 0; tag < 256; ++tag)
            tables.operatorResetsElementType[tag] = true;
        for (int tag : {0x93, 0x95, 0x9B, 0x9D, 0xB9})
            tables.operatorResetsElementType[tag] = false;
        for (int tag = 0; tag < 256; ++tag) {
            const uint32_t code = xl_datatype_code(static_cast<uint8_t>(tag));
            tables.datatypeCode[tag] = static_cast<uint8_t>(code);
            tables.elementWidth[tag] = static_cast<uint8_t>(xl_element_width(code));
            tables.shapeCount[tag] = static_cast<uint8_t>(xl_shape_count(code));
        }
    }
};

} // namespace

const XlFastTables& xl_fast_tables()
{
    static const FastTablesHolder holder;
    return holder.tables;
}

const XlSymbol* xl_find_enumeration(uint32_t attribute, uint32_t value)
{
    if (attribute >= 256)
        return nullptr;
    const XlFastTables& t = xl_fast_tables();
    const XlSymbol* begin = t.enumBegin[attribute];
    const XlSymbol* end = t.enumEnd[attribute];
    if (!begin)
        return nullptr;
    const XlSymbol* hit =
        std::lower_bound(begin, end, value, [](const XlSymbol& s, uint32_t v) { return s.value < v; });
    if (hit == end || hit->value != value)
        return nullptr;
    return hit;
}
