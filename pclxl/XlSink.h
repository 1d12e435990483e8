#pragma once

#include <cstddef>
#include <cstdint>

// Output sink of the PCL XL reader: a fixed buffer that is handed to a callback whenever it fills.
// Reader errors share the sink's error code and count, so one record tells the caller how a run went.
struct XlSink;

// Called with the sink, the user data, the buffer and its fill. Returning false records
// XL_ERR_FLUSH_FAILED, which stops every later append.
using XlFlushCallback = bool (*)(XlSink* sink, void* userData, const uint8_t* buffer, uint32_t used);

struct XlSink
{
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t used = 0;
    uint64_t total = 0; // bytes written over the sink's life; 64 bits so that long listings cannot wrap
    int16_t errorCode = 0;
    uint16_t errorCount = 0;
    XlFlushCallback flush = nullptr;
    void* userData = nullptr;
};

// Library error codes.
enum XlLibraryError : int16_t
{
    XL_OK = 0,
    XL_ERR_INIT_FAILED = -1,
    XL_ERR_OPERATOR_UNDEFINED = -2,
    XL_ERR_UNDEFINED = -3,
    XL_ERR_OUT_OF_MEMORY = -4,
    XL_ERR_ZERO_BUFFER = -5,
    XL_ERR_OVERFLOW = -6,
    XL_ERR_FLUSH_FAILED = -7,
};

const char* xl_library_error_text(int code);

// None when the callback is missing, the size is 0 or the buffer cannot be allocated.
XlSink* create_sink(uint32_t size, XlFlushCallback flush, void* userData);
// Ignored while the sink holds an error.
void append_sink(XlSink* sink, const void* bytes, size_t count);
void flush_sink(XlSink* sink);
void destroy_sink(XlSink* sink);

// Records an error in the sink's error record (code and count). The count saturates instead of wrapping,
// so a run that saw errors can never look clean again.
void xl_record_error(XlSink* sink, int16_t code);
