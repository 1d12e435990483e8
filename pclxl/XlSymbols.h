#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Symbol classes of the static table.
enum XlSymbolClass : uint16_t
{
    XL_CLASS_MARKER = 0,
    XL_CLASS_OPERATOR = 1,
    XL_CLASS_DATATYPE = 3,
    XL_CLASS_ATTRIBUTE = 4,
    XL_CLASS_ENUMERATION = 5,
    XL_CLASS_HEX_RAW = 9,
    XL_CLASS_HEX32_RAW = 10,
    XL_CLASS_SOURCE = 11,
    XL_CLASS_RAW = 12,
};

// Qualifiers of the name a listing uses; -1 marks a second name of the same value.
enum : int16_t
{
    XL_QUAL_ALIAS = -1,
    XL_QUAL_DATATYPE = -2,
    XL_QUAL_OPERATOR = -3,
    XL_QUAL_ATTRIBUTE = -4,
};

struct XlSymbol
{
    const char* name;
    uint16_t cls;
    uint32_t value;
    int16_t qualifier; // enumerations: the attribute number the value belongs to
};

// Classes of a stream's first byte of a token.
enum XlTagClass : uint8_t
{
    XL_TAG_ERROR = 0,
    XL_TAG_OPERATOR = 1,
    XL_TAG_DATATYPE = 2,
    XL_TAG_UEL = 3,
    XL_TAG_PJL = 4,
    XL_TAG_HEADER = 5,
    XL_TAG_EMBEDDED32 = 6,
    XL_TAG_EMBEDDED8 = 7,
    XL_TAG_ATTRIBUTE_ID = 8,
};

// Data type codes: base type in the low four bits, shape in the high bits.
enum : uint32_t
{
    XL_UBYTE = 0,
    XL_SBYTE = 1, // embedded-data elements only
    XL_UINT16 = 2,
    XL_SINT16 = 3,
    XL_UINT32 = 4,
    XL_SINT32 = 5,
    XL_REAL32 = 6,
    XL_SHAPE_XY = 16,
    XL_SHAPE_BOX = 32,
    XL_SHAPE_ARRAY = 48,
    XL_DATA_LENGTH = 14,      // embedded data, 4-byte length
    XL_DATA_LENGTH_BYTE = 15, // embedded data, 1-byte length
};

// Attributes and enumerations the analysis depends on.
enum : uint32_t
{
    XL_ATTR_COLOR_SPACE = 3,
    XL_ATTR_RGB_COLOR = 11,
    XL_ATTR_MEDIA_SIZE = 37,
    XL_ATTR_CUSTOM_MEDIA_SIZE = 47,
    XL_ATTR_PAGE_COPIES = 49,
    XL_ATTR_SIMPLEX_PAGE_MODE = 52,
    XL_ATTR_DUPLEX_PAGE_MODE = 53,
    XL_ATTR_POINT_TYPE = 80,
    XL_OP_BEGIN_SESSION = 0x41,
    XL_OP_END_SESSION = 0x42,
    XL_OP_BEGIN_PAGE = 0x43,
    XL_OP_END_PAGE = 0x44,
};

extern const XlSymbol xlSymbolTable[];
extern const size_t xlSymbolCount;
extern const std::array<uint8_t, 256> xlTagClass;

// Data type code for a data type tag (0xC0..0xED); tags outside the defined groups read as ubyte.
uint32_t xl_datatype_code(uint8_t tag);
// Bytes of one element of the code's base type.
unsigned xl_element_width(uint32_t code);
// Elements of a non-array value: 1, 2 or 4.
unsigned xl_shape_count(uint32_t code);

// Order used for disassembly look-ups: (class, value, qualifier).
bool xl_symbol_less(const XlSymbol& a, const XlSymbol& b);

// Precomputed per-tag and per-number views of the table, so that the token loop needs no search.
struct XlFastTables
{
    const XlSymbol* operatorByTag[256];     // listing name (qualifier -3) or none
    const XlSymbol* attributeByNumber[256]; // listing name (qualifier -4) or none
    const XlSymbol* datatypeByCode[64];     // qualifier -2 rows
    bool attributeHasEnums[256];
    // Enumerations by attribute: a contiguous range of the sorted enumeration rows.
    const XlSymbol* enumBegin[256];
    const XlSymbol* enumEnd[256];
    bool operatorResetsElementType[256];
    // Per data type tag: code, element width and element count of a non-array value.
    uint8_t datatypeCode[256];
    uint8_t elementWidth[256];
    uint8_t shapeCount[256];
};
const XlFastTables& xl_fast_tables();

// Name of the enumeration value of an attribute, or none.
const XlSymbol* xl_find_enumeration(uint32_t attribute, uint32_t value);
