#include "PjlRewrite.h"

#include "APlatform.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>
#include <cstring>

namespace {

const QByteArray kHorizontalDuplexBeforeA3("\xc0\x00\xf8\x35\xd1\x9a\x0b\x68\x10", 9);
const QByteArray kVerticalDuplexBeforeA3("\xc0\x01\xf8\x35\xd1\x9a\x0b\x68\x10", 9);
const QByteArray kCustomA3("\xd1\x9a\x0b\x68\x10\xf8\x2f\xc0\x02\xf8\x30", 11);
const QByteArray kNamedA3Text("\xc8\xc0\x02\x41\x33\xf8\x25", 7);
const QByteArray kNamedA3Enumeration("\xc0\x05\xf8\x25", 4);

const QByteArray kEnterPclXl("\n@PJL ENTER LANGUAGE=PCLXL\n");

void replaceOrLog(const SJob& job, const QByteArray& from, const QByteArray& to)
{
    if (!replace_file_content(job.filePath, from, to))
        qWarning() << "Replace file content failed. " << job.filePath;
}

// Collects small pieces (the replacement texts, the bytes between close occurrences) into writes of
// about readSize bytes; a large piece goes out directly.
class Output
{
public:
    Output(QFile& file, int size) : m_file(file), m_size(size) { m_buffer.reserve(size); }

    bool put(const char* data, qint64 size)
    {
        if (m_buffer.size() + size > m_size && !flush())
            return false;
        if (size >= m_size)
            return m_file.write(data, size) == size;
        m_buffer.append(data, int(size));
        return true;
    }
    bool flush()
    {
        const bool ok = m_buffer.isEmpty() || m_file.write(m_buffer) == m_buffer.size();
        m_buffer.resize(0);
        return ok;
    }

private:
    QFile& m_file;
    int m_size;
    QByteArray m_buffer;
};

// Index of the first occurrence of needle in haystack at or after from, or -1. The C library's memmem
// where there is one: several times faster than QByteArray::indexOf on spool-sized buffers.
int findBytes(const QByteArray& haystack, const QByteArray& needle, int from)
{
#if defined(__GLIBC__) || defined(__APPLE__)
    const char* begin = haystack.constData() + from;
    const void* hit =
        memmem(begin, size_t(haystack.size() - from), needle.constData(), size_t(needle.size()));
    return hit ? int(static_cast<const char*>(hit) - haystack.constData()) : -1;
#else
    return haystack.indexOf(needle, from);
#endif
}

} // namespace

bool replace_file_content(const QString& path, const QByteArray& from, const QByteArray& to, int readSize)
{
    if (path.isEmpty() || from.isEmpty() || readSize < 1)
        return false;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    // Written beside the file and renamed over it. Not synced to disk first: the spool file lives only
    // as long as its job, and the rename alone keeps a dying process from leaving a mix behind.
    QTemporaryFile out(QFileInfo(path).absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!out.open())
        return false;
    Output output(out, readSize);

    // Bytes read but not yet written: at most the start of an occurrence that the next read completes.
    QByteArray pending;
    pending.reserve(readSize + from.size()); // kept when emptied, so reads reuse one buffer
    bool replaced = false;
    for (;;) {
        const int kept = pending.size();
        pending.resize(kept + readSize);
        const qint64 got = in.read(pending.data() + kept, readSize);
        if (got < 0)
            return false;
        pending.resize(kept + int(got));
        const bool atEnd = got == 0;

        int start = 0;
        for (int hit = findBytes(pending, from, 0); hit >= 0; hit = findBytes(pending, from, start)) {
            if (!output.put(pending.constData() + start, hit - start) ||
                !output.put(to.constData(), to.size()))
                return false;
            replaced = true;
            start = hit + from.size();
        }
        const int keep = atEnd ? 0 : qMin(from.size() - 1, pending.size() - start);
        if (!output.put(pending.constData() + start, pending.size() - start - keep))
            return false;
        pending.remove(0, pending.size() - keep);
        if (atEnd)
            break;
    }
    if (!replaced)
        return true;
    if (!output.flush() || !out.flush())
        return false;
    in.close();
    out.close();
    return renameOver(out.fileName(), path);
}

bool add_user_password(const SJob& job)
{
    const DeviceEntry& device = job.device;
    static const QStringList konicaModels{QStringLiteral("bizhub C226"), QStringLiteral("bizhub C458"),
                                          QStringLiteral("bizhub 754"), QStringLiteral("bizhub C554")};
    static const QStringList sharpModels{QStringLiteral("Sharp 4110"), QStringLiteral("Sharp 365"),
                                         QStringLiteral("Sharp 4081"), QStringLiteral("Sharp 266")};
    if (device.brand == QLatin1String("KONICA MIN") && konicaModels.contains(device.model) &&
        !device.deviceUsername.isEmpty() && !device.devicePassword.isEmpty()) {
        replaceOrLog(job, kEnterPclXl,
                     "\n@PJL ENTER LANGUAGE=PCLXL\n@PJL SET KMCOETYPE = 2\n@PJL SET KMDRIVER=ON\n"
                     "@PJL SET KMUSERNAME = \"" +
                         device.deviceUsername.toUtf8() + "\"\n@PJL SET KMUSERKEY2 = \"" +
                         device.devicePassword.toUtf8() + "\"\n");
        return true;
    }
    if (device.brand == QLatin1String("Sharp") && sharpModels.contains(device.model))
        replaceOrLog(job, kEnterPclXl, "\n@PJL SET ACCOUNTNUMBER=\"48151623\"\n@PJL ENTER LANGUAGE=PCLXL \n");
    return true;
}

void rewrite_for_device(const SJob& job)
{
    const QString& brand = job.device.brand;
    const QString& model = job.device.model;
    const bool a3 = job.size == 2;

    if (brand == QLatin1String("Fuji Xerox") && model == QLatin1String("workcentre 7855") && a3 &&
        job.duplex != 0) {
        if (job.duplex == 2)
            replace_file_content(job.filePath, kVerticalDuplexBeforeA3, kHorizontalDuplexBeforeA3);
        else
            replace_file_content(job.filePath, kHorizontalDuplexBeforeA3, kVerticalDuplexBeforeA3);
        return;
    }
    if ((brand == QLatin1String("Ricoh") || brand == QLatin1String("Kyocera") ||
         brand == QLatin1String("HANSA CANO")) &&
        a3) {
        replace_file_content(job.filePath, kCustomA3, kNamedA3Text);
        return;
    }
    if (job.copies > 1 && brand == QLatin1String("Brother") &&
        (model == QLatin1String("MFC-8530DN") || model == QLatin1String("MFC-8540DN"))) {
        if (job.analysed) {
            // The sender writes the stream once per copy instead.
            const QByteArray copies = QByteArray::number(job.copies);
            replaceOrLog(job, "\n@PJL SET QTY=" + copies, "\n@PJL SET QTY=1");
            replaceOrLog(job, "\n@PJL SET COPIES=" + copies, "\n@PJL SET COPIES=1");
        } else {
            replaceOrLog(job, "\n@PJL SET QTY", "\n@PJL SET COPIES");
        }
        return;
    }
    if (job.copies > 1 && brand == QLatin1String("Toshiba")) {
        if (job.analysed)
            replaceOrLog(job, "\n@PJL SET QTY", "\n@PJL SET COPIES");
        else
            replaceOrLog(job, "\n@PJL SET COPIES", "\n@PJL SET QTY");
        return;
    }
    if (brand == QLatin1String("Sharp") &&
        (model == QLatin1String("Sharp 4110") || model == QLatin1String("Sharp 365")) && a3) {
        if (job.duplex != 0)
            replaceOrLog(
                job, "\n@PJL ENTER LANGUAGE=PCLXL \n",
                "\n@PJL SET DUPLEX=ON\n@PJL SET MEDIATYPE=DEFAULTMEDIATYPE\n@PJL ENTER LANGUAGE=PCLXL  \n");
        replace_file_content(job.filePath, kCustomA3, kNamedA3Enumeration);
    }
}
