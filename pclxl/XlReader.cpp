#include "XlReader.h"

#include "XlSymbols.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

const char* xl_reader_error_text(int code)
{
    switch (code) {
    case XL_E_NONE:
        return "No Errors Detected";
    case XL_E_CANNOT_OPEN:
        return "File Error: Cannot Open the Input File";
    case XL_E_INVALID_DATA_IDENTIFIER:
        return "Internal Error: Data Identifer From Symbol Table is Invalid";
    case XL_E_ILLEGAL_STATE:
        return "Internal Error: Assembler Was In An Illegal State";
    case XL_E_OUT_OF_MEMORY:
        return "Internal Error: Out of Memory";
    case XL_E_NAME_TOO_LONG:
        return "Parameter Error: An Input or $include File Name Exceeded the Maximum Length Allowed";
    case XL_E_UNDEFINED_TAG:
        return "Stream Operator/Data Error: Undefined Tag Found in Stream";
    case XL_E_MISSING_SYMBOL:
        return "Internal Error: Assembler is Missing a Needed Symbol for Disassembly";
    case XL_E_BEYOND_END:
        return "File Error: Data Needed is Beyond the End of the Current Input File";
    case XL_E_ARRAY_LENGTH_TYPE:
        return "Syntax Error: A PCL XL Stream Contained an Undefined Array Length Type";
    case XL_E_TOO_MANY_FILES:
        return "Internal Error: Too many nested user and/or processing files (max=14)";
    case XL_E_TOO_MANY_ELEMENTS:
        return "Internal Error: More data elements received than expected.";
    default:
        // The remaining codes belong to the assembler, which this reader never raises.
        return "Internal Error: Error Number Undefined";
    }
}

const char* xl_error_text(int code)
{
    return code < 0 ? xl_library_error_text(code) : xl_reader_error_text(code);
}

namespace {

constexpr size_t kInputBufferSize = 64 * 1024;

struct InputFile
{
    std::FILE* file = nullptr;
    bool owned = false;
    std::string name;
    std::string source;
};

} // namespace

struct XlReaderContext
{
    XlSink* sink = nullptr;
    const XlArguments* arguments = nullptr;
    size_t bufferSize = 0;
    std::unique_ptr<char[]> line;
    std::unique_ptr<char[]> token;
    uint64_t tagCounts[256] = {};
    uint64_t attributeCounts[256] = {};
    int level = -1;
    InputFile files[XL_MAX_FILE_LEVELS];
    std::vector<XlSymbol> symbols; // sorted by (class, value, qualifier) for disassembly
    int state = XL_STATE_LISTING;
    int previousState = XL_STATE_LISTING;
    uint32_t valueType = 0;
    uint32_t valueCount = 0;
    bool valueIsArray = false;
    std::vector<uint8_t> value; // grows with the largest value met, at most XL_MAX_VALUE_ELEMENTS * 4
    uint64_t operatorPosition = 0;
    int subroutines = 0; // defined only by the assembler

    // Input of the current file: [pos, end) is what is buffered and not yet consumed.
    std::unique_ptr<uint8_t[]> input;
    const uint8_t* pos = nullptr;
    const uint8_t* end = nullptr;
    uint64_t inputBase = 0; // file offset of input[0]
    bool inputFailed = false;

    const XlFastTables* fast = &xl_fast_tables();

    // Element type of embedded data set by PointType (0 ubyte, 1 sbyte, 2 uint16, 3 sint16), or -1 bytes.
    int embeddedElementType = -1;

    // What this run found for the analysis; handed to the caller's statistics at the end.
    std::vector<std::string> pjlHeaderLines;
    bool colorFlag = false;   // the enumeration eRGB was decoded
    bool sessionOpen = false; // a BeginSession not yet followed by an EndSession
    // The PageCopies attribute of the operator being read (1 when it has none) and what the EndPage
    // operators so far print with theirs.
    uint64_t pageCopies = 1;
    uint64_t printedPages = 0;
    std::vector<XlStreamPart> parts;
    size_t sessionsRecorded = 0;
    bool sessionsDropped = false;
    bool sessionRecordOpen = false; // the last recorded session awaits its EndSession
    bool pjlIncomplete = false;
    size_t pjlJobStart = 0;     // PJL lines captured before the last UEL
    bool headerPending = false; // a stream header came after the last part began
    size_t pendingPjlFirst = 0, pendingPjlEnd = 0;
};

namespace {

bool failed(const XlReaderContext* c)
{
    return c->sink->errorCode != 0;
}

void fail(XlReaderContext* c, int16_t code)
{
    xl_record_error(c->sink, code);
    c->state = XL_STATE_STOPPED;
}

// ---- output

void put(XlReaderContext* c, const char* text, size_t length)
{
    append_sink(c->sink, text, length);
}
void put(XlReaderContext* c, const char* text)
{
    put(c, text, std::strlen(text));
}

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void putf(XlReaderContext* c, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(c->line.get(), c->bufferSize, format, args);
    va_end(args);
    if (n <= 0)
        return;
    put(c, c->line.get(), std::min(static_cast<size_t>(n), c->bufferSize - 1));
    // A line cut at the buffer's size (a long file name) still ends, so that the next one stays apart.
    const size_t length = std::strlen(format);
    if (static_cast<size_t>(n) >= c->bufferSize && length > 0 && format[length - 1] == '\n')
        put(c, "\n");
}

void reportByte(XlReaderContext* c, int byte)
{
    if (c->state == XL_STATE_LISTING)
        putf(c, "// Error Found While Processing Byte Value of:'%02x' (hex).\n", byte & 0xFF);
}

// Hex dump of 16 bytes a line; full lines end in their printable characters.
struct HexDump
{
    XlReaderContext* c;
    bool withText;
    uint8_t row[16];
    unsigned fill = 0;

    void add(const uint8_t* bytes, size_t n)
    {
        static const char kHex[] = "0123456789abcdef";
        char out[16 * 3 + 4 + 16 + 1];
        for (size_t i = 0; i < n; ++i) {
            row[fill++] = bytes[i];
            if (fill < 16)
                continue;
            size_t k = 0;
            for (uint8_t b : row) {
                out[k++] = kHex[b >> 4];
                out[k++] = kHex[b & 15];
                out[k++] = ' ';
            }
            if (withText) {
                out[k++] = '/';
                out[k++] = '/';
                out[k++] = ' ';
                for (uint8_t b : row)
                    out[k++] = (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            }
            out[k++] = '\n';
            put(c, out, k);
            fill = 0;
        }
    }
    // Writes what is left of the last line, which the caller ends.
    void finish()
    {
        for (unsigned i = 0; i < fill; ++i)
            putf(c, "%02x ", row[i]);
        fill = 0;
    }
};

// ---- input

bool refill(XlReaderContext* c)
{
    if (c->inputFailed || c->level < 0)
        return false;
    c->inputBase += static_cast<uint64_t>(c->end - c->input.get());
    const size_t n = std::fread(c->input.get(), 1, kInputBufferSize, c->files[c->level].file);
    c->pos = c->input.get();
    c->end = c->pos + n;
    if (n == 0 && std::ferror(c->files[c->level].file)) {
        // A read failure must not pass for the end of a complete stream.
        c->inputFailed = true;
        fail(c, XL_E_BEYOND_END);
    }
    return n > 0;
}

uint64_t consumed(const XlReaderContext* c)
{
    return c->inputBase + static_cast<uint64_t>(c->pos - c->input.get());
}

inline int getByte(XlReaderContext* c)
{
    if (c->pos == c->end && !refill(c))
        return -1;
    return *c->pos++;
}

// Reads exactly n bytes into dst; false (with the available bytes consumed) at the end of input.
bool readBytes(XlReaderContext* c, uint8_t* dst, size_t n)
{
    while (n > 0) {
        if (c->pos == c->end && !refill(c))
            return false;
        const size_t chunk = std::min(n, static_cast<size_t>(c->end - c->pos));
        std::memcpy(dst, c->pos, chunk);
        c->pos += chunk;
        dst += chunk;
        n -= chunk;
    }
    return true;
}

// Passes the next n bytes to sinkFn in buffer-sized pieces without copying them.
template <typename Fn> bool passBytes(XlReaderContext* c, uint64_t n, Fn&& sinkFn)
{
    while (n > 0) {
        if (c->pos == c->end && !refill(c))
            return false;
        const size_t chunk =
            static_cast<size_t>(std::min<uint64_t>(n, static_cast<uint64_t>(c->end - c->pos)));
        sinkFn(c->pos, chunk);
        c->pos += chunk;
        n -= chunk;
    }
    return true;
}

uint32_t littleEndian(const uint8_t* b, unsigned width)
{
    uint32_t v = 0;
    for (unsigned i = width; i-- > 0;)
        v = (v << 8) | b[i];
    return v;
}

// ---- symbols

const XlSymbol* findSymbol(const XlReaderContext* c, uint16_t cls, uint32_t value, int16_t qualifier)
{
    const XlSymbol key{nullptr, cls, value, qualifier};
    auto it = std::lower_bound(c->symbols.begin(), c->symbols.end(), key, xl_symbol_less);
    if (it == c->symbols.end() || it->cls != cls || it->value != value || it->qualifier != qualifier)
        return nullptr;
    return &*it;
}

// ---- file stack

bool pushInput(XlReaderContext* c, std::FILE* stream, bool owned, const std::string& name,
               const std::string& source)
{
    if (c->level + 1 >= XL_MAX_FILE_LEVELS) {
        if (owned)
            std::fclose(stream);
        fail(c, XL_E_TOO_MANY_FILES);
        return false;
    }
    InputFile& f = c->files[++c->level];
    f.file = stream;
    f.owned = owned;
    f.name = name;
    f.source = source;
    c->pos = c->end = c->input.get();
    c->inputBase = 0;
    c->inputFailed = false;
    return true;
}

void popInput(XlReaderContext* c)
{
    if (c->level < 0)
        return;
    InputFile& f = c->files[c->level--];
    if (f.owned && f.file)
        std::fclose(f.file);
    f = InputFile();
}

bool openInput(XlReaderContext* c, const char* fileName)
{
    std::string name = fileName ? fileName : "";
    if (name.size() > XL_MAX_FILE_NAME) {
        fail(c, XL_E_NAME_TOO_LONG);
        return false;
    }
    if (name == "stdin")
        return pushInput(c, stdin, false, name, name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    std::FILE* file = nullptr;
    std::string opened = name;
    if (!name.empty() && name.front() == '<') {
        std::string bare = name.substr(1);
        if (!bare.empty() && bare.back() == '>')
            bare.pop_back();
#ifdef _WIN32
        const char separator = '\\';
#else
        const char separator = '/';
#endif
        if (c->arguments) {
            for (const std::string& dir : c->arguments->includeDirectories) {
                opened = dir + separator + bare;
                if (opened.size() > XL_MAX_FILE_NAME) {
                    fail(c, XL_E_NAME_TOO_LONG);
                    return false;
                }
                if ((file = std::fopen(opened.c_str(), "rb")))
                    break;
            }
        }
    } else {
        file = std::fopen(name.c_str(), "rb");
    }
    if (!file) {
        fail(c, XL_E_CANNOT_OPEN);
        return false;
    }
    // The reader buffers itself; a second buffer in stdio would only copy every byte once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return pushInput(c, file, true, opened, fileName);
}

// ---- tokens

// Dumps (listing, under a "what Should Follow" banner) and consumes bytes up to and including the
// terminator; PJL lines are captured.
void readDump(XlReaderContext* c, const char* what, uint8_t first, uint8_t terminator, bool capturePjl)
{
    const bool listing = c->state == XL_STATE_LISTING;
    if (listing)
        putf(c, "// %s Should Follow: \nhex_raw* %c\n", what, '[');
    HexDump dump{c, true, {}, 0};
    std::string captured;
    bool overlong = false;
    if (listing)
        dump.add(&first, 1);
    bool done = false;
    while (!done) {
        if (c->pos == c->end && !refill(c))
            break;
        const size_t avail = static_cast<size_t>(c->end - c->pos);
        const void* hit = std::memchr(c->pos, terminator, avail);
        const size_t n = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - c->pos) + 1 : avail;
        done = hit != nullptr;
        if (listing)
            dump.add(c->pos, n);
        if (capturePjl && !overlong) {
            const size_t room = XL_MAX_PJL_LINE - captured.size();
            captured.append(reinterpret_cast<const char*>(c->pos), std::min(n, room));
            overlong = n > room;
        }
        c->pos += n;
    }
    if (listing) {
        dump.finish();
        putf(c, "%c\n\n", ']');
    }
    if (capturePjl && !captured.empty()) {
        if (overlong || c->pjlHeaderLines.size() >= XL_MAX_PJL_LINES)
            c->pjlIncomplete = true;
        if (c->pjlHeaderLines.size() < XL_MAX_PJL_LINES)
            c->pjlHeaderLines.push_back(std::move(captured));
    }
}

void writeEmbedded(XlReaderContext* c, uint64_t length)
{
    static const unsigned kWidth[] = {1, 1, 2, 2};
    const int type = c->embeddedElementType;
    if (type < 0) {
        HexDump dump{c, false, {}, 0};
        if (!passBytes(c, length, [&](const uint8_t* p, size_t n) { dump.add(p, n); })) {
            dump.finish();
            fail(c, XL_E_BEYOND_END);
            return;
        }
        dump.finish();
        put(c, "\n");
    } else {
        // Points: elements of the type PointType named, eight to a line.
        const unsigned width = kWidth[type];
        uint8_t element[2];
        unsigned have = 0, onLine = 0;
        bool ok = passBytes(c, length, [&](const uint8_t* p, size_t n) {
            for (size_t i = 0; i < n; ++i) {
                element[have++] = p[i];
                if (have < width)
                    continue;
                have = 0;
                long v = width == 1 ? element[0] : (element[0] | (element[1] << 8));
                if (type == 1)
                    v = static_cast<int8_t>(v);
                else if (type == 3)
                    v = static_cast<int16_t>(v);
                putf(c, "%ld ", v);
                if (++onLine == 8) {
                    put(c, "\n");
                    onLine = 0;
                }
            }
        });
        for (unsigned i = 0; i < have; ++i)
            putf(c, "%02x ", element[i]);
        if (onLine > 0 || have > 0)
            put(c, "\n");
        if (!ok) {
            fail(c, XL_E_BEYOND_END);
            return;
        }
    }
    putf(c, "%c\n\n", ']');
}

void readEmbedded(XlReaderContext* c, uint8_t tag)
{
    const unsigned lengthBytes = tag == 0xFA ? 4 : 1;
    uint8_t raw[4];
    if (!readBytes(c, raw, lengthBytes)) {
        fail(c, XL_E_BEYOND_END);
        return;
    }
    const uint32_t length = littleEndian(raw, lengthBytes);
    ++c->tagCounts[tag];
    if (c->state == XL_STATE_LISTING) {
        put(c, "// Embedded Data Should Follow: \n");
        static const char* const kElementNames[] = {"ubyte", "sbyte", "uint16", "sint16"};
        const char* form = c->embeddedElementType < 0 ? "hex_raw*" : kElementNames[c->embeddedElementType];
        putf(c, "%s %" PRIu32 "\n%s %c\n", tag == 0xFA ? "dataLength" : "dataLengthByte", length, form, '[');
        writeEmbedded(c, length);
    } else if (!passBytes(c, length, [](const uint8_t*, size_t) {})) {
        fail(c, XL_E_BEYOND_END);
    }
}

void writeNumber(XlReaderContext* c, uint32_t base, const uint8_t* p)
{
    char text[48];
    switch (base) {
    case XL_UBYTE:
        std::snprintf(text, sizeof text, "%u ", p[0]);
        break;
    case XL_UINT16:
        std::snprintf(text, sizeof text, "%u ", littleEndian(p, 2));
        break;
    case XL_SINT16:
        std::snprintf(text, sizeof text, "%d ", static_cast<int16_t>(littleEndian(p, 2)));
        break;
    case XL_UINT32:
        std::snprintf(text, sizeof text, "%" PRIu32 " ", littleEndian(p, 4));
        break;
    case XL_SINT32:
        std::snprintf(text, sizeof text, "%" PRId32 " ", static_cast<int32_t>(littleEndian(p, 4)));
        break;
    default: {
        const uint32_t bits = littleEndian(p, 4);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        // Shortest form that reads back the same, in plain digits whatever the process locale is.
        const auto r = std::to_chars(text, text + sizeof text - 2, f);
        *r.ptr = ' ';
        r.ptr[1] = '\0';
        break;
    }
    }
    put(c, text);
}

void readDataValue(XlReaderContext* c, uint8_t tag)
{
    ++c->tagCounts[tag];
    const bool listing = c->state == XL_STATE_LISTING;
    const XlFastTables& fast = *c->fast;
    const uint32_t code = fast.datatypeCode[tag];
    const uint32_t base = code & 0x0F;
    const unsigned width = fast.elementWidth[tag];
    const bool isArray = (code & 0x30) == XL_SHAPE_ARRAY;
    if (listing) {
        const XlSymbol* type = code < 64 ? fast.datatypeByCode[code] : nullptr;
        if (!type) {
            fail(c, XL_E_INVALID_DATA_IDENTIFIER);
            return;
        }
        putf(c, "%s ", type->name);
    }

    uint32_t count = fast.shapeCount[tag];
    if (isArray) {
        const int lengthType = getByte(c);
        if (lengthType < 0) {
            fail(c, XL_E_BEYOND_END);
            return;
        }
        unsigned lengthBytes = 0;
        switch (lengthType) {
        case 0xC0:
            lengthBytes = 1;
            break;
        case 0xC1:
            lengthBytes = 2;
            break;
        case 0xC2:
            lengthBytes = 4;
            break;
        default:
            reportByte(c, lengthType);
            fail(c, XL_E_ARRAY_LENGTH_TYPE);
            return;
        }
        uint8_t raw[4];
        if (!readBytes(c, raw, lengthBytes)) {
            fail(c, XL_E_BEYOND_END);
            return;
        }
        count = littleEndian(raw, lengthBytes);
        if (count > XL_MAX_VALUE_ELEMENTS) {
            fail(c, XL_E_TOO_MANY_ELEMENTS);
            return;
        }
    }
    c->valueType = code;
    c->valueCount = count;
    c->valueIsArray = isArray;
    const size_t bytes = static_cast<size_t>(count) * width;
    if (c->value.size() < bytes) {
        try {
            c->value.resize(bytes);
        } catch (const std::bad_alloc&) {
            fail(c, XL_E_OUT_OF_MEMORY);
            return;
        }
    }
    if (!readBytes(c, c->value.data(), bytes)) {
        fail(c, XL_E_BEYOND_END);
        return;
    }

    const int marker = getByte(c);
    if (marker < 0) {
        fail(c, XL_E_BEYOND_END);
        return;
    }
    if (marker != 0xF8) {
        reportByte(c, marker);
        fail(c, XL_E_UNDEFINED_TAG);
        return;
    }
    ++c->tagCounts[0xF8];
    const int attribute = getByte(c);
    if (attribute < 0) {
        fail(c, XL_E_BEYOND_END);
        return;
    }
    ++c->attributeCounts[attribute];
    if (attribute == XL_ATTR_PAGE_COPIES && !isArray && count == 1 && base != XL_REAL32) {
        const uint32_t raw = littleEndian(c->value.data(), width);
        const int64_t v = base == XL_SINT16   ? static_cast<int16_t>(raw)
                          : base == XL_SINT32 ? static_cast<int32_t>(raw)
                                              : static_cast<int64_t>(raw);
        c->pageCopies = v < 1 ? 1 : static_cast<uint64_t>(v);
    }

    // Enumerated attributes name their values; numbers stay numbers.
    const bool enumerated = fast.attributeHasEnums[attribute] && base != XL_REAL32;
    if (listing && isArray)
        putf(c, "%c ", '[');
    if (enumerated || listing) {
        const uint8_t* p = c->value.data();
        for (uint32_t i = 0; i < count; ++i, p += width) {
            const XlSymbol* name = nullptr;
            if (enumerated) {
                uint32_t v = littleEndian(p, width);
                if (base == XL_SINT16)
                    v = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
                name = xl_find_enumeration(static_cast<uint32_t>(attribute), v);
                if (name && std::strcmp(name->name, "eRGB") == 0)
                    c->colorFlag = true;
            }
            if (!listing)
                continue;
            if (name)
                putf(c, "%s ", name->name);
            else
                writeNumber(c, base, p);
        }
    }
    if (listing && isArray)
        putf(c, "%c ", ']');

    const XlSymbol* attributeName = fast.attributeByNumber[attribute];
    if (!attributeName) {
        if (listing)
            put(c, "\n");
        reportByte(c, attribute);
        fail(c, XL_E_MISSING_SYMBOL);
        return;
    }
    if (listing) {
        putf(c, "%s\n", attributeName->name);
        if (attribute == XL_ATTR_POINT_TYPE && !isArray && count >= 1) {
            const uint32_t v = littleEndian(c->value.data(), width);
            c->embeddedElementType = v <= 3 ? static_cast<int>(v) : -1;
        }
    }
}

// A BeginSession was just read: the session is recorded, in a new part when a stream header came since the
// last part began.
void recordSession(XlReaderContext* c)
{
    c->sessionRecordOpen = false;
    if (c->sessionsRecorded == XL_MAX_SESSIONS) {
        c->sessionsDropped = true;
        return;
    }
    if (c->parts.empty() || c->headerPending) {
        XlStreamPart part;
        part.pjlFirst = c->headerPending ? c->pendingPjlFirst : c->pjlJobStart;
        part.pjlEnd = c->headerPending ? c->pendingPjlEnd : c->pjlHeaderLines.size();
        c->parts.push_back(std::move(part));
        c->headerPending = false;
    }
    XlSession session;
    session.begin = consumed(c) - 1;
    c->parts.back().sessions.push_back(session);
    ++c->sessionsRecorded;
    c->sessionRecordOpen = true;
}

void readOperator(XlReaderContext* c, uint8_t tag)
{
    ++c->tagCounts[tag];
    const XlSymbol* op = c->fast->operatorByTag[tag];
    if (!op) {
        reportByte(c, tag);
        fail(c, XL_E_MISSING_SYMBOL);
        return;
    }
    ++c->operatorPosition;
    // Attributes belong to the operator that follows them.
    if (tag == XL_OP_END_PAGE) {
        c->printedPages += c->pageCopies;
        if (!c->parts.empty())
            c->parts.back().printedPages += c->pageCopies;
    } else if (tag == XL_OP_BEGIN_PAGE && !c->parts.empty()) {
        ++c->parts.back().pageOperators;
    }
    c->pageCopies = 1;
    if (tag == XL_OP_BEGIN_SESSION) {
        c->sessionOpen = true;
        recordSession(c);
    } else if (tag == XL_OP_END_SESSION) {
        c->sessionOpen = false;
        if (c->sessionRecordOpen)
            c->parts.back().sessions.back().end = consumed(c);
        c->sessionRecordOpen = false;
    }
    if (c->state == XL_STATE_LISTING) {
        putf(c, "// Operator Position: %" PRIu64 "\n", c->operatorPosition);
        putf(c, "%s\n\n", op->name);
        if (c->fast->operatorResetsElementType[tag])
            c->embeddedElementType = -1;
    }
}

void readToken(XlReaderContext* c)
{
    const int byte = getByte(c);
    if (byte < 0)
        return;
    const auto tag = static_cast<uint8_t>(byte);
    switch (xlTagClass[tag]) {
    case XL_TAG_OPERATOR:
        readOperator(c, tag);
        break;
    case XL_TAG_DATATYPE:
        readDataValue(c, tag);
        break;
    case XL_TAG_UEL:
        readDump(c, "UEL", tag, 'X', false);
        // A UEL ends a PJL job, and with it what its lines set.
        c->pjlJobStart = c->pjlHeaderLines.size();
        break;
    case XL_TAG_PJL:
        readDump(c, "PJL", tag, '\n', true);
        break;
    case XL_TAG_HEADER:
        readDump(c, "Stream Header", tag, '\n', false);
        c->headerPending = true;
        c->pendingPjlFirst = c->pjlJobStart;
        c->pendingPjlEnd = c->pjlHeaderLines.size();
        break;
    case XL_TAG_EMBEDDED32:
    case XL_TAG_EMBEDDED8:
        readEmbedded(c, tag);
        break;
    default:
        reportByte(c, tag);
        fail(c, XL_E_UNDEFINED_TAG);
        break;
    }
}

bool atEnd(XlReaderContext* c)
{
    return c->pos == c->end && !refill(c);
}

// ---- statistics

void writeStatistics(XlReaderContext* c, int mode, const char* fileName, XlStreamStats* stats)
{
    const bool numbered = mode == XL_MODE_NUMBERED_STATS;
    const char* prefix = (mode == XL_MODE_LISTING || mode == XL_MODE_LISTING_STATS) ? "//, " : "";
    unsigned lineNo = 0;
    if (mode == XL_MODE_LISTING_STATS)
        put(c, "// PCL XL Stream Operator and Data Statistics: \n");
    const uint64_t size = consumed(c);
    if (numbered)
        putf(c, "000000 %-25s %06" PRIu64 "\n", "fileSize", size);
    else
        putf(c, "%sfileSize, %-25s, %06" PRIu64 "\n", prefix, fileName, size);

    for (int tag = 0; tag < 256 && !failed(c); ++tag) {
        if (xlTagClass[tag] != XL_TAG_OPERATOR)
            continue;
        const uint64_t count = c->tagCounts[tag];
        const XlSymbol* op = findSymbol(c, XL_CLASS_OPERATOR, static_cast<uint32_t>(tag), XL_QUAL_OPERATOR);
        if (!op)
            putf(c, "%sError... No Operator Symbol.  Tag Value = %02x (hex).  Count=%" PRIu64 "\n", prefix,
                 tag, count);
        else if (numbered)
            putf(c, "%06u %-25s %06" PRIu64 "\n", ++lineNo, op->name, count);
        else
            putf(c, "%sopStat, %-25s, %-6" PRIu64 "\n", prefix, op->name, count);
    }
    const auto clamp32 = [](uint64_t v) {
        return static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
    };
    if (!numbered && stats) {
        stats->sessions = clamp32(c->tagCounts[XL_OP_BEGIN_SESSION]);
        stats->endSessions = clamp32(c->tagCounts[XL_OP_END_SESSION]);
        stats->pageOperators = clamp32(c->tagCounts[XL_OP_BEGIN_PAGE]);
    }

    for (int attribute = 0; attribute < 256 && !failed(c); ++attribute) {
        const XlSymbol* a =
            findSymbol(c, XL_CLASS_ATTRIBUTE, static_cast<uint32_t>(attribute), XL_QUAL_ATTRIBUTE);
        if (!a)
            continue;
        const uint64_t count = c->attributeCounts[attribute];
        if (numbered)
            putf(c, "%06u %-25s %06" PRIu64 "\n", ++lineNo, a->name, count);
        else
            putf(c, "%sattrStat, %-25s, %-6" PRIu64 "\n", prefix, a->name, count);
        if (!numbered && stats && count > 0) {
            if (attribute == XL_ATTR_RGB_COLOR)
                stats->color = true;
            else if (attribute == XL_ATTR_CUSTOM_MEDIA_SIZE)
                stats->customSize = true;
            else if (attribute == XL_ATTR_DUPLEX_PAGE_MODE)
                stats->duplex = true;
        }
    }

    for (int tag = 0; tag < 256 && !failed(c); ++tag) {
        if (xlTagClass[tag] != XL_TAG_DATATYPE)
            continue;
        const uint64_t count = c->tagCounts[tag];
        const XlSymbol* t =
            findSymbol(c, XL_CLASS_DATATYPE, xl_datatype_code(static_cast<uint8_t>(tag)), XL_QUAL_DATATYPE);
        if (!t)
            putf(c, "%sError... No Data Symbol.  Tag Value = %02x (hex).  Count=%" PRIu64 "\n", prefix, tag,
                 count);
        else if (numbered)
            putf(c, "%06u %-25s %06" PRIu64 "\n", ++lineNo, t->name, count);
        else
            putf(c, "%sdataStat, %-25s, %" PRIu64 "\n", prefix, t->name, count);
    }
}

void run(XlSink* sink, std::FILE* stream, const char* name, const XlArguments* arguments, int mode,
         XlStreamStats* stats)
{
    if (!sink || sink->errorCode != 0)
        return;
    XlReaderContext* c = create_reader_context(sink, arguments, 2048, true);
    if (!c)
        return;
    const bool opened =
        stream ? pushInput(c, stream, false, name ? name : "", name ? name : "") : openInput(c, name);
    if (!opened) {
        destroy_reader_context(c);
        return;
    }
    const std::string fileName = c->files[c->level].name;
    if (mode == XL_MODE_STATS || mode == XL_MODE_NUMBERED_STATS) {
        c->state = XL_STATE_SILENT;
    } else {
        c->state = XL_STATE_LISTING;
        putf(c, "// Disassembler Input File Name = %s\n\n", fileName.c_str());
    }

    while (c->state != XL_STATE_STOPPED && !failed(c) && !atEnd(c)) {
        c->previousState = c->state;
        if (c->state != XL_STATE_LISTING && c->state != XL_STATE_SILENT) {
            fail(c, XL_E_ILLEGAL_STATE);
            break;
        }
        readToken(c);
    }

    if (stats) {
        for (const std::string& pjl : c->pjlHeaderLines) {
            if (pjl.find("PJL XJAFILENAME") != std::string::npos) {
                stats->nameLine = pjl;
                break;
            }
        }
    }

    if (sink->errorCount == 0) {
        if (mode != XL_MODE_STATS && mode != XL_MODE_NUMBERED_STATS)
            putf(c, "\n// Input File Size = %" PRIu64 " bytes\n", consumed(c));
        if (mode != XL_MODE_LISTING) {
            c->state = XL_STATE_STATISTICS;
            writeStatistics(c, mode, fileName.c_str(), stats);
            if (stats && (c->attributeCounts[XL_ATTR_RGB_COLOR] > 0 || c->colorFlag))
                stats->color = true;
        }
    }
    if (stats) {
        stats->colorFlag = c->colorFlag;
        stats->lastSessionOpen = c->sessionOpen;
        stats->printedPages = c->printedPages;
        stats->PjlHeaderLines = std::move(c->pjlHeaderLines);
        stats->parts = std::move(c->parts);
        stats->sessionsDropped = c->sessionsDropped;
        stats->pjlIncomplete = c->pjlIncomplete;
    }
    destroy_reader_context(c);
}

} // namespace

XlReaderContext* create_reader_context(XlSink* sink, const XlArguments* arguments, size_t bufferSize,
                                       bool forDisassembly)
{
    auto* c = new (std::nothrow) XlReaderContext;
    if (!c) {
        xl_record_error(sink, XL_E_OUT_OF_MEMORY);
        return nullptr;
    }
    c->sink = sink;
    c->arguments = arguments;
    c->bufferSize = std::max<size_t>(bufferSize, 64);
    c->line.reset(new (std::nothrow) char[c->bufferSize]);
    c->token.reset(new (std::nothrow) char[c->bufferSize]);
    c->input.reset(new (std::nothrow) uint8_t[kInputBufferSize]);
    try {
        c->symbols.assign(xlSymbolTable, xlSymbolTable + xlSymbolCount);
    } catch (const std::bad_alloc&) {
        c->symbols.clear();
    }
    if (!c->line || !c->token || !c->input || c->symbols.empty()) {
        xl_record_error(sink, XL_E_OUT_OF_MEMORY);
        delete c;
        return nullptr;
    }
    if (forDisassembly)
        std::sort(c->symbols.begin(), c->symbols.end(), xl_symbol_less);
    else
        std::sort(c->symbols.begin(), c->symbols.end(),
                  [](const XlSymbol& a, const XlSymbol& b) { return std::strcmp(a.name, b.name) < 0; });
    c->pos = c->end = c->input.get();
    return c;
}

void destroy_reader_context(XlReaderContext* c)
{
    if (!c)
        return;
    while (c->level >= 0)
        popInput(c);
    // Temporary subroutine files exist only when the assembler defined subroutines.
    for (int i = 1; i <= c->subroutines; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "sub%03d.tmp", i);
        std::remove(name);
    }
    delete c;
}

void disassemble(XlSink* sink, const char* fileName, const XlArguments* arguments, int mode,
                 XlStreamStats* stats)
{
    run(sink, nullptr, fileName, arguments, mode, stats);
}

void disassemble_stream(XlSink* sink, std::FILE* stream, const char* name, int mode, XlStreamStats* stats)
{
    if (!stream) {
        xl_record_error(sink, XL_E_CANNOT_OPEN);
        return;
    }
    run(sink, stream, name, nullptr, mode, stats);
}
