#pragma once

#include "HandOverSend.h"

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Directory attribute value of a listed entry (the Windows value, also used for the other platforms).
constexpr std::uint32_t kAttributeDirectory = 0x10;

struct FolderEntry
{
    std::string name;
    std::uint32_t attributes = 0;
};

// The operating system as the monitor needs it. Paths are byte strings in the system's ANSI code page.
class MonitorPlatform
{
public:
    virtual ~MonitorPlatform() = default;

    // Takes the process-wide guard of that name; false when another process holds it. The guard is held
    // until the process ends.
    virtual bool claimInstance(const std::string& name) = 0;
    virtual bool startSockets() = 0;

    // The user's Documents folder; false when it cannot be found.
    virtual bool documentsFolder(std::string* path) = 0;
    // The system's temporary folder ending with a separator; empty when unknown.
    virtual std::string tempFolder() = 0;
    virtual std::string installFolder() = 0;
    // The path resolved against the current directory.
    virtual std::string absolutePath(const std::string& path) = 0;

    virtual bool isFolder(const std::string& path) = 0;
    virtual bool makeFolder(const std::string& path) = 0;
    virtual bool removeFolder(const std::string& path) = 0;
    // The entries of a folder, "." and ".." included; true when the listing ended normally.
    virtual bool listFolder(const std::string& path, std::vector<FolderEntry>* entries) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    // -1 when the file cannot be read.
    virtual std::int64_t fileSize(const std::string& path) = 0;
    virtual bool removeFile(const std::string& path) = 0;
    virtual bool moveFile(const std::string& from, const std::string& to) = 0;

    // A monotonic clock.
    virtual std::int64_t nowMs() = 0;
    virtual void sleepMs(unsigned ms) = 0;

    // Diagnostics on standard output.
    virtual void print(const std::string& text) = 0;

    // One hand-over of these bytes to the client's job port (HandOver::sendPath).
    virtual HandOver::SendResult handOver(const std::string& bytes) = 0;
};
