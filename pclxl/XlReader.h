#pragma once

#include "XlSink.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// Reader error codes; the record is shared with the sink's error code and count.
enum XlReaderError : int16_t
{
    XL_E_NONE = 0,
    XL_E_CANNOT_OPEN = 1,
    XL_E_INVALID_DATA_IDENTIFIER = 8,
    XL_E_ILLEGAL_STATE = 15,
    XL_E_OUT_OF_MEMORY = 17,
    XL_E_NAME_TOO_LONG = 26,
    XL_E_UNDEFINED_TAG = 33,
    XL_E_MISSING_SYMBOL = 34,
    XL_E_BEYOND_END = 35,
    XL_E_ARRAY_LENGTH_TYPE = 36,
    XL_E_TOO_MANY_FILES = 43,
    XL_E_TOO_MANY_ELEMENTS = 44,
};

// Text of a reader error code (0 .. 44; anything else reads as undefined).
const char* xl_reader_error_text(int code);
// Text of whatever a sink's error record holds: library codes are negative, reader codes positive.
const char* xl_error_text(int code);

// Run modes of disassemble().
enum XlMode
{
    XL_MODE_LISTING = 0,
    XL_MODE_LISTING_STATS = 1,
    XL_MODE_STATS = 2,
    XL_MODE_NUMBERED_STATS = 3,
};

// Reader states.
enum XlState
{
    XL_STATE_LISTING = 1,
    XL_STATE_STOPPED = 7,
    XL_STATE_SILENT = 8,
    XL_STATE_STATISTICS = 9
};

// One session of a stream: where its bytes lie, so that the analysis can tell copies of one document from
// different documents.
struct XlSession
{
    uint64_t begin = 0; // offset of its BeginSession operator
    uint64_t end = 0;   // offset just past its EndSession operator; 0 when none closed it
};

// One PCL XL stream of the file, from its stream header (or the file's start) to the next: a print system
// that joins the documents of one job writes one after another, each behind its own PJL header.
struct XlStreamPart
{
    // Its PJL lines, PjlHeaderLines[pjlFirst, pjlEnd): those of the PJL job it belongs to (since the last
    // UEL) that came before its stream header.
    size_t pjlFirst = 0;
    size_t pjlEnd = 0;
    std::vector<XlSession> sessions;
    uint64_t pageOperators = 0;
    uint64_t printedPages = 0; // as XlStreamStats::printedPages
};
// The most sessions a run records; a stream with more is none a print system writes.
constexpr size_t XL_MAX_SESSIONS = 65535;

// What the analysis takes from one run. Every run fills its own record, so runs on different threads
// do not disturb each other.
struct XlStreamStats
{
    // PJL lines met in the stream, in order, each without its "@" and with its line feed. Bounded (see
    // XL_MAX_PJL_LINES / XL_MAX_PJL_LINE). Filled in every mode.
    std::vector<std::string> PjlHeaderLines;
    std::optional<std::string> nameLine; // first captured PJL line holding "PJL XJAFILENAME"
    uint32_t sessions = 0;
    uint32_t endSessions = 0; // EndSession operators
    // A BeginSession came after the last EndSession: the stream was cut (a disk that filled while
    // spooling), however cleanly. Filled in every mode, also when the run failed.
    bool lastSessionOpen = false;
    uint32_t pageOperators = 0;
    // Sheet sides the device prints: each EndPage counts its PageCopies (1 without one), so that copies
    // asked for inside the stream (Ghostscript's NumCopies) are counted as printed.
    uint64_t printedPages = 0;
    // The streams that hold sessions, in order, with the pages that came after their first session (filled
    // in every mode). sessionsDropped: more than XL_MAX_SESSIONS sessions, the rest unrecorded.
    std::vector<XlStreamPart> parts;
    bool sessionsDropped = false;
    // A PJL line was cut at XL_MAX_PJL_LINE or left out past XL_MAX_PJL_LINES: what it asks is unknown.
    bool pjlIncomplete = false;
    bool color = false;     // an RGBColor attribute occurred, or eRGB was decoded
    bool colorFlag = false; // the enumeration eRGB was decoded (in every mode)
    bool customSize = false;
    bool duplex = false;
};
constexpr size_t XL_MAX_PJL_LINES = 1024;
constexpr size_t XL_MAX_PJL_LINE = 2047;

// Arrays may hold at most this many elements (the most a 16-bit length can give); more is error 44.
constexpr uint32_t XL_MAX_VALUE_ELEMENTS = 65535;
constexpr size_t XL_MAX_FILE_NAME = 123;
constexpr int XL_MAX_FILE_LEVELS = 14;

struct XlArguments
{
    std::vector<std::string> includeDirectories; // searched for names written as "<name>"
};

struct XlReaderContext;

XlReaderContext* create_reader_context(XlSink* sink, const XlArguments* arguments, size_t bufferSize,
                                       bool forDisassembly);
void destroy_reader_context(XlReaderContext* context);

// Reads the file (or "stdin") and, by mode, writes a listing and/or statistics to the sink. The result
// is the sink's error record and, when stats is given, the statistics.
void disassemble(XlSink* sink, const char* fileName, const XlArguments* arguments, int mode,
                 XlStreamStats* stats);

// The same run over an already open stream, which stays open; name is what the listing shows.
void disassemble_stream(XlSink* sink, std::FILE* stream, const char* name, int mode, XlStreamStats* stats);
