#include "JobAnalysis.h"

#include "HandOver.h"
#include "PjlLine.h"
#include "XlReader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

bool discardOutput(XlSink*, void*, const uint8_t*, uint32_t)
{
    return true;
}

// atoi without its undefined behaviour on overflow: leading white space, a sign, digits, clamped to int.
int toInt(const std::string& text, size_t from)
{
    size_t i = from;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

// The reader gets the open file, not its name: names are the reader's own business and limited there, while
// spool paths under long user names are normal. Wide characters on Windows, whatever the code page.
std::FILE* openStream(const QString& path)
{
#ifdef Q_OS_WIN
    std::FILE* stream = _wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"rb");
#else
    std::FILE* stream = std::fopen(QFile::encodeName(path).constData(), "rb");
#endif
    // The reader buffers itself.
    if (stream)
        std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

int clampToInt(uint64_t value)
{
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

uint64_t saturatingMul(uint64_t a, uint64_t b)
{
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

uint64_t saturatingAdd(uint64_t a, uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

uint64_t divideUp(uint64_t a, uint64_t b)
{
    return a / b + (a % b != 0 ? 1 : 0);
}

using PjlLines = std::vector<std::string>::const_iterator;

// The copy count PJL lines ask for, or 0: the first QTY decides; a COPIES of 1 or more before it decides
// instead.
int copiesAsked(PjlLines from, PjlLines to)
{
    for (; from != to; ++from) {
        const PjlLine pjl = readPjlLine(*from);
        if (pjl.command != "SET" || !pjl.assigns)
            continue;
        const int value = toInt(pjl.value, 0);
        if (pjl.variable == "QTY")
            return value >= 1 ? value : 0;
        if (pjl.variable == "COPIES" && value >= 1)
            return value;
    }
    return 0;
}

bool seekTo(std::FILE* stream, uint64_t offset)
{
    if (offset > uint64_t(INT64_MAX))
        return false;
#ifdef _WIN32
    return _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// Whether the stream holds the same bytes at a and at b, for length bytes.
bool sameBytes(std::FILE* stream, uint64_t a, uint64_t b, uint64_t length)
{
    char left[16384];
    char right[sizeof left];
    for (uint64_t done = 0; done < length;) {
        const size_t chunk = size_t(std::min<uint64_t>(sizeof left, length - done));
        if (!seekTo(stream, a + done) || std::fread(left, 1, chunk, stream) != chunk ||
            !seekTo(stream, b + done) || std::fread(right, 1, chunk, stream) != chunk ||
            std::memcmp(left, right, chunk) != 0)
            return false;
        done += chunk;
    }
    return true;
}

// A driver that makes copies itself repeats the document's session once per copy: sessions are copies only
// when each is byte for byte the first.
bool sessionsAreCopies(std::FILE* stream, const XlStreamPart& part)
{
    const XlSession& first = part.sessions.front();
    for (const XlSession& session : part.sessions) {
        if (session.end <= session.begin || session.end - session.begin != first.end - first.begin ||
            (&session != &first && !sameBytes(stream, first.begin, session.begin, first.end - first.begin)))
            return false;
    }
    return true;
}

struct Figures
{
    int64_t pages = -1; // of one copy; -1 without sessions or pages
    uint64_t copies = 1;
};

// Pages and copies of sessions that print sessionCopies copies of one document (1 when the sessions are
// different documents), with the PJL copies asked for them.
Figures measure(uint64_t sessionCopies, uint64_t pageOperators, uint64_t printedPages, int requested)
{
    Figures figures;
    figures.copies = sessionCopies;
    if (sessionCopies != 0 && pageOperators != 0)
        figures.pages = int64_t(pageOperators / sessionCopies);
    // Copies asked for inside the stream (each page's PageCopies, as Ghostscript writes its NumCopies):
    // what the device prints over the pages of one copy, rounded up so that no printed page goes unpaid.
    if (figures.pages > 0)
        figures.copies = std::max(figures.copies, divideUp(printedPages, uint64_t(figures.pages)));
    if (figures.copies == 0)
        figures.copies = 1;
    // The PJL copies (QTY or COPIES, where the print backend of Linux desktops writes CUPS's count) stand
    // for the copy sessions, as a driver writes one or the other; the pages' own PageCopies multiply them.
    if (requested > 1) {
        const uint64_t perPage = pageOperators == 0 ? 1 : divideUp(printedPages, pageOperators);
        figures.copies =
            std::max(figures.copies, saturatingMul(uint64_t(requested), std::max<uint64_t>(perPage, 1)));
    }
    return figures;
}

} // namespace

int pjl_copies(const std::vector<std::string>& PjlHeaderLines)
{
    return copiesAsked(PjlHeaderLines.begin(), PjlHeaderLines.end());
}

bool analyseJob(SJob& job, std::vector<std::string>* pjlLines)
{
    job.fileSize = QFileInfo(job.filePath).size();

    XlSink* sink = create_sink(4096, discardOutput, nullptr);
    if (!sink)
        return false;
    XlStreamStats stats;
    std::FILE* stream = openStream(job.filePath);
    disassemble_stream(sink, stream, "job", XL_MODE_STATS, &stats);
    const auto close = [&stream] {
        if (stream)
            std::fclose(stream);
        stream = nullptr;
    };
    // A session left open means the stream was cut short: its pages and price would be wrong. So would
    // sessions or PJL lines the reader could not keep.
    if (sink->errorCode != 0 || sink->errorCount > 0 || stats.lastSessionOpen ||
        stats.endSessions < stats.sessions || stats.sessionsDropped || stats.pjlIncomplete) {
        destroy_sink(sink);
        close();
        return false;
    }
    flush_sink(sink);
    destroy_sink(sink);

    // Each PCL XL stream of the file prints its own pages its own PJL copies times: the print backend of
    // Linux desktops joins a job's documents so, each behind a header with the job's copies. A file of one
    // stream keeps every PJL line it holds, wherever it stands.
    const std::vector<XlStreamPart>& parts = stats.parts;
    const auto asked = [&stats, &parts](size_t part) {
        if (parts.size() <= 1)
            return pjl_copies(stats.PjlHeaderLines);
        const auto lines = stats.PjlHeaderLines.cbegin();
        return copiesAsked(lines + ptrdiff_t(parts[part].pjlFirst), lines + ptrdiff_t(parts[part].pjlEnd));
    };
    // More copies than PJL allows: a device may print them or ignore the line, so no price fits.
    bool priceable = pjl_copies(stats.PjlHeaderLines) <= HandOver::kMaxJobCopies;
    for (size_t part = 0; part < parts.size(); ++part)
        priceable = priceable && asked(part) <= HandOver::kMaxJobCopies;
    if (!priceable) {
        close();
        return false;
    }

    Figures figures;
    if (parts.size() <= 1) {
        const bool copies = parts.empty() || sessionsAreCopies(stream, parts.front());
        figures = measure(copies ? stats.sessions : 1, stats.pageOperators, stats.printedPages, asked(0));
    } else {
        // Pages of one copy of every document; the copies are what every printed page costs, rounded up.
        uint64_t pages = 0, printed = 0;
        for (size_t part = 0; part < parts.size(); ++part) {
            const XlStreamPart& p = parts[part];
            const Figures f = measure(sessionsAreCopies(stream, p) ? p.sessions.size() : 1, p.pageOperators,
                                      p.printedPages, asked(part));
            if (f.pages <= 0)
                continue;
            pages = saturatingAdd(pages, uint64_t(f.pages));
            printed = saturatingAdd(printed, saturatingMul(uint64_t(f.pages), f.copies));
        }
        if (pages > 0) {
            figures.pages = int64_t(std::min<uint64_t>(pages, INT_MAX));
            figures.copies = divideUp(printed, uint64_t(figures.pages));
        }
    }
    close();

    if (stats.nameLine) {
        const std::string& line = *stats.nameLine;
        const size_t open = line.find('"');
        const size_t end = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
        const std::string name = end == std::string::npos ? line : line.substr(open + 1, end - open - 1);
        job.documentName = QString::fromLocal8Bit(name.data(), clampToInt(name.size()));
    } else {
        job.documentName.clear();
    }
    job.pages = figures.pages < 0 ? -1 : clampToInt(uint64_t(figures.pages));
    job.copies = clampToInt(figures.copies);
    job.color = stats.color ? 1 : 0;
    job.size = stats.customSize ? 2 : 1;
    job.duplex = stats.duplex ? 1 : 0;
    job.analysed = true;
    if (pjlLines)
        *pjlLines = std::move(stats.PjlHeaderLines);
    return true;
}
