#include "XlSink.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

const char* xl_library_error_text(int code)
{
    switch (code) {
    case XL_OK:
        return "XL Library: No Errors Detected";
    case XL_ERR_INIT_FAILED:
        return "XL Library: Initialization Failed";
    case XL_ERR_OPERATOR_UNDEFINED:
        return "XL Library: Operator Number Undefined";
    case XL_ERR_OUT_OF_MEMORY:
        return "XL Library: Out of Memory";
    case XL_ERR_ZERO_BUFFER:
        return "XL Library: A Stream Buffer Size of Zero Was Requested";
    case XL_ERR_OVERFLOW:
        return "XL Library: Stream Output Buffer Overflowed";
    case XL_ERR_FLUSH_FAILED:
        return "XL Library: Attempt to Flush Output Buffer Failed";
    default:
        return "XL Library: Number of Error Reported is Undefined";
    }
}

XlSink* create_sink(uint32_t size, XlFlushCallback flush, void* userData)
{
    if (!flush || size == 0)
        return nullptr;
    auto* sink = new (std::nothrow) XlSink;
    if (!sink)
        return nullptr;
    sink->buffer = new (std::nothrow) uint8_t[size];
    if (!sink->buffer) {
        delete sink;
        return nullptr;
    }
    sink->size = size;
    sink->flush = flush;
    sink->userData = userData;
    return sink;
}

void xl_record_error(XlSink* sink, int16_t code)
{
    if (!sink)
        return;
    sink->errorCode = code;
    if (sink->errorCount < std::numeric_limits<uint16_t>::max())
        ++sink->errorCount;
}

void append_sink(XlSink* sink, const void* bytes, size_t count)
{
    if (!sink || sink->errorCode != XL_OK)
        return;
    const auto* in = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        if (sink->used == sink->size) {
            if (!sink->flush(sink, sink->userData, sink->buffer, sink->used) && sink->errorCode == XL_OK)
                xl_record_error(sink, XL_ERR_FLUSH_FAILED);
            sink->used = 0;
            if (sink->errorCode != XL_OK)
                return;
        }
        const size_t chunk = std::min<size_t>(count, sink->size - sink->used);
        std::memcpy(sink->buffer + sink->used, in, chunk);
        sink->used += static_cast<uint32_t>(chunk);
        sink->total += chunk;
        in += chunk;
        count -= chunk;
    }
}

void flush_sink(XlSink* sink)
{
    if (!sink)
        return;
    if (!sink->flush(sink, sink->userData, sink->buffer, sink->used) && sink->errorCode == XL_OK)
        xl_record_error(sink, XL_ERR_FLUSH_FAILED);
    sink->used = 0;
}

void destroy_sink(XlSink* sink)
{
    if (!sink)
        return;
    delete[] sink->buffer;
    delete sink;
}
