#include "JobAnalysis.h"

#include "XlReader.h"

#include <QFileInfo>
#include <cctype>
#include <climits>
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

// Value of "SET QTY=" or "SET COPIES=" in a PJL line: looked for after the "PJL" keyword (or from the
// start when the line lacks it), read up to the line feed.
int pjlValue(const std::string& line, const char* key)
{
    const size_t pjl = line.find("PJL");
    const size_t at = line.find(key, pjl == std::string::npos ? 0 : pjl + 3);
    if (at == std::string::npos)
        return 0;
    const size_t from = at + std::strlen(key);
    const size_t lineFeed = line.find('\n', from);
    return toInt(line.substr(from, lineFeed == std::string::npos ? std::string::npos : lineFeed - from), 0);
}

int clampToInt(uint64_t value)
{
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

} // namespace

int pjl_copies(const std::vector<std::string>& PjlHeaderLines)
{
    for (const std::string& line : PjlHeaderLines) {
        if (line.find("SET QTY=") != std::string::npos) {
            const int quantity = pjlValue(line, "SET QTY=");
            return quantity >= 1 ? quantity : 0;
        }
        if (line.find("SET COPIES=") != std::string::npos) {
            const int copies = pjlValue(line, "SET COPIES=");
            if (copies >= 1)
                return copies;
        }
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
    const QByteArray path = job.filePath.toLocal8Bit();
    disassemble(sink, path.constData(), nullptr, XL_MODE_STATS, &stats);
    if (sink->errorCode != 0 || sink->errorCount > 0) {
        destroy_sink(sink);
        return false;
    }
    flush_sink(sink);
    destroy_sink(sink);

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
    job.color = stats.color ? 1 : 0;
    job.size = stats.customSize ? 2 : 1;
    job.duplex = stats.duplex ? 1 : 0;
    if (job.copies == 0)
        job.copies = 1;

    const int requested = pjl_copies(stats.PjlHeaderLines);
    if (job.copies < requested)
        job.copies = requested;
    job.analysed = true;
    if (pjlLines)
        *pjlLines = std::move(stats.PjlHeaderLines);
    return true;
}
