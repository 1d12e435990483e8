// libFuzzer target: arbitrary bytes through the PCL XL reader in every mode, and the PJL lines it
// captures through the PJL line reader.
#include "PjlLine.h"
#include "XlReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool discard(XlSink*, void*, const uint8_t* buffer, uint32_t used)
{
    // Touch what was written so that the sanitizers check the whole fill.
    volatile uint8_t sum = 0;
    for (uint32_t i = 0; i < used; ++i)
        sum = static_cast<uint8_t>(sum + buffer[i]);
    return true;
}

bool failSecondFlush(XlSink*, void* userData, const uint8_t*, uint32_t)
{
    return ++*static_cast<int*>(userData) < 2;
}

std::FILE* openBytes(const uint8_t* data, size_t size)
{
    if (size == 0)
        return std::fopen("/dev/null", "rb");
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

void runOnce(const uint8_t* data, size_t size, int mode, uint32_t sinkSize, XlFlushCallback flush, void* user)
{
    std::FILE* in = openBytes(data, size);
    if (!in)
        return;
    XlSink* sink = create_sink(sinkSize, flush, user);
    XlStreamStats stats;
    disassemble_stream(sink, in, "fuzz", mode, &stats);
    flush_sink(sink);
    // Counts can never exceed the bytes that were there to count.
    if (stats.sessions > size || stats.pageOperators > size)
        std::abort();
    if (stats.PjlHeaderLines.size() > XL_MAX_PJL_LINES)
        std::abort();
    // Recorded sessions lie in the input, in order, and their streams' PJL lines among those captured.
    size_t recorded = 0;
    uint64_t after = 0;
    for (const XlStreamPart& part : stats.parts) {
        if (part.sessions.empty() || part.pjlFirst > part.pjlEnd || part.pjlEnd > stats.PjlHeaderLines.size())
            std::abort();
        for (const XlSession& session : part.sessions) {
            if (session.begin < after || session.begin >= size || session.end > size ||
                (session.end != 0 && session.end <= session.begin))
                std::abort();
            after = session.begin + 1;
        }
        recorded += part.sessions.size();
    }
    if (recorded > XL_MAX_SESSIONS || (stats.sessionsDropped && recorded != XL_MAX_SESSIONS))
        std::abort();
    for (const std::string& line : stats.PjlHeaderLines) {
        if (line.empty() || line.size() > XL_MAX_PJL_LINE)
            std::abort();
        const PjlLine pjl = readPjlLine(line);
        if (pjl.command.size() + pjl.variable.size() + pjl.value.size() > line.size() ||
            (!pjl.assigns && !pjl.value.empty()))
            std::abort();
    }
    if (sink->errorCount == 0 && sink->errorCode != 0)
        std::abort();
    destroy_sink(sink);
    std::fclose(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int mode = XL_MODE_LISTING; mode <= XL_MODE_NUMBERED_STATS; ++mode)
        runOnce(data, size, mode, 4096, discard, nullptr);
    // A tiny sink whose flush fails: the run must stop cleanly on the library error.
    int flushes = 0;
    runOnce(data, size, XL_MODE_LISTING_STATS, 7, failSecondFlush, &flushes);
    return 0;
}
