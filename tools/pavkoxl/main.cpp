// pavkoxl: looks into a spooled PCL XL stream for support staff and tests.
//   pavkoxl [-m MODE] FILE   listing and/or statistics of the reader (modes 0 to 3) on standard output
//   pavkoxl --job FILE       the job analysis as one JSON object
#include "JobAnalysis.h"
#include "XlReader.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fputs("usage: pavkoxl [-m MODE] FILE\n       pavkoxl --job FILE\nMODE: 0 listing, 1 listing and "
               "statistics, 2 statistics, 3 numbered statistics\n",
               stderr);
    return 2;
}

bool writeStdout(XlSink*, void*, const uint8_t* buffer, uint32_t used)
{
    return std::fwrite(buffer, 1, used, stdout) == used;
}

int disassembleFile(const char* file, int mode)
{
    XlSink* sink = create_sink(64 * 1024, writeStdout, nullptr);
    if (!sink) {
        std::fprintf(stderr, "%s\n", xl_library_error_text(XL_ERR_OUT_OF_MEMORY));
        return 1;
    }
    if (std::strcmp(file, "stdin") == 0) {
        disassemble(sink, file, nullptr, mode, nullptr);
    } else {
        // Opened here, so that paths longer than the reader's own name limit work.
        std::FILE* stream = std::fopen(file, "rb");
        disassemble_stream(sink, stream, file, mode, nullptr);
        if (stream)
            std::fclose(stream);
    }
    // What was listed before an error is still worth seeing.
    const int16_t runError = sink->errorCode;
    const bool runFailed = sink->errorCount > 0;
    flush_sink(sink);
    const int16_t code = runFailed ? runError : sink->errorCode;
    const bool failed = runFailed || sink->errorCount > 0 || std::fflush(stdout) != 0;
    destroy_sink(sink);
    if (failed)
        std::fprintf(stderr, "%s\n", xl_error_text(code != 0 ? code : int16_t(XL_ERR_FLUSH_FAILED)));
    return failed ? 1 : 0;
}

QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (const QChar ch : text) {
        const ushort u = ch.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += QString(ch).toUtf8();
        }
    }
    return out + '"';
}

int analyseFile(const char* file)
{
    SJob job;
    job.filePath = QString::fromLocal8Bit(file);
    job.analysed = false;
    std::vector<std::string> pjlLines;
    const bool ok = analyseJob(job, &pjlLines);
    const QByteArray json =
        "{\"file_size\":" + QByteArray::number(job.fileSize) +
        ",\"document_name\":" + jsonString(job.documentName) + ",\"pages\":" + QByteArray::number(job.pages) +
        ",\"copies\":" + QByteArray::number(job.copies) + ",\"color\":" + QByteArray::number(job.color) +
        ",\"size\":" + QByteArray::number(job.size) + ",\"duplex\":" + QByteArray::number(job.duplex) +
        ",\"analysed\":" + (job.analysed ? "true" : "false") +
        ",\"pjl_copies\":" + QByteArray::number(pjl_copies(pjlLines)) + "}\n";
    std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--job") == 0)
        return argc == 3 ? analyseFile(argv[2]) : usage();
    int mode = XL_MODE_LISTING;
    int i = 1;
    if (i < argc && std::strcmp(argv[i], "-m") == 0) {
        if (i + 1 >= argc || std::strlen(argv[i + 1]) != 1 || argv[i + 1][0] < '0' || argv[i + 1][0] > '3')
            return usage();
        mode = argv[i + 1][0] - '0';
        i += 2;
    }
    if (i + 1 != argc || argv[i][0] == '-')
        return usage();
    return disassembleFile(argv[i], mode);
}
