#include "JobAnalysis.h"

#include "HandOver.h"
#include "PjlLine.h"
#include "XlReader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <climits>

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

} // namespace

int pjl_copies(const std::vector<std::string>& PjlHeaderLines)
{
    // The first QTY decides; a COPIES of 1 or more before it decides instead.
    for (const std::string& line : PjlHeaderLines) {
        const PjlLine pjl = readPjlLine(line);
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

bool analyseJob(SJob& job, std::vector<std::string>* pjlLines)
{
    job.fileSize = QFileInfo(job.filePath).size();

    XlSink* sink = create_sink(4096, discardOutput, nullptr);
    if (!sink)
        return false;
    XlStreamStats stats;
    std::FILE* stream = openStream(job.filePath);
    disassemble_stream(sink, stream, "job", XL_MODE_STATS, &stats);
    if (stream)
        std::fclose(stream);
    // A session left open means the stream was cut short: its pages and price would be wrong.
    if (sink->errorCode != 0 || sink->errorCount > 0 || stats.lastSessionOpen ||
        stats.endSessions < stats.sessions) {
        destroy_sink(sink);
        return false;
    }
    flush_sink(sink);
    destroy_sink(sink);
    // More copies than PJL allows: a device may print them or ignore the line, so no price fits.
    if (pjl_copies(stats.PjlHeaderLines) > HandOver::kMaxJobCopies)
        return false;

    if (stats.nameLine) {
        const std::string& line = *stats.nameLine;
        const size_t open = line.find('"');
        const size_t close = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
        const std::string name = close == std::string::npos ? line : line.substr(open + 1, close - open - 1);
        job.documentName = QString::fromLocal8Bit(name.data(), clampToInt(name.size()));
    } else {
        job.documentName.clear();
    }
    job.copies = clampToInt(stats.sessions);
    job.pages = (stats.sessions == 0 || stats.pageOperators == 0)
                    ? -1
                    : clampToInt(stats.pageOperators / stats.sessions);
    // Copies asked for inside the stream (each page's PageCopies, as Ghostscript writes its NumCopies):
    // what the device prints over the pages of one copy, rounded up so that no printed page goes unpaid.
    if (job.pages > 0) {
        const uint64_t printed = (stats.printedPages + uint64_t(job.pages) - 1) / uint64_t(job.pages);
        if (printed > uint64_t(job.copies))
            job.copies = clampToInt(printed);
    }
    job.color = stats.color ? 1 : 0;
    job.size = stats.customSize ? 2 : 1;
    job.duplex = stats.duplex ? 1 : 0;
    if (job.copies == 0)
        job.copies = 1;

    // The PJL header's copies (QTY or COPIES, where the print backend of Linux desktops writes CUPS's
    // count) stand for the sessions, as a driver writes one or the other; the pages' own PageCopies
    // multiply them.
    const int requested = pjl_copies(stats.PjlHeaderLines);
    if (requested > 1) {
        const uint64_t perPage = stats.pageOperators == 0
                                     ? 1
                                     : (stats.printedPages + stats.pageOperators - 1) / stats.pageOperators;
        const uint64_t asked = uint64_t(requested) * std::max<uint64_t>(perPage, 1);
        if (asked > uint64_t(job.copies))
            job.copies = clampToInt(asked);
    }
    job.analysed = true;
    if (pjlLines)
        *pjlLines = std::move(stats.PjlHeaderLines);
    return true;
}
