#pragma once

#include "HandOverSend.h"
#include "MonitorPlatform.h"

#include <cstdint>
#include <string>

// The monitor's platform on POSIX systems, with its folders, instance-lock folder and job port given
// by the caller.
class PosixPlatform : public MonitorPlatform
{
public:
    struct Settings
    {
        std::string lockFolder;      // holds the instance guards' lock files
        std::string documentsFolder; // empty: none
        std::string tempFolder;      // ends with "/"
        std::string installFolder;
        std::uint16_t jobPort = HandOver::kHandOverPort;
        HandOver::SendLimits limits;
    };

    explicit PosixPlatform(Settings settings);
    ~PosixPlatform() override;
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    bool claimInstance(const std::string& name) override;
    bool startSockets() override { return true; }
    bool documentsFolder(std::string* path) override;
    std::string tempFolder() override { return m_settings.tempFolder; }
    std::string installFolder() override { return m_settings.installFolder; }
    std::string absolutePath(const std::string& path) override;
    bool isFolder(const std::string& path) override;
    bool makeFolder(const std::string& path) override;
    bool removeFolder(const std::string& path) override;
    bool listFolder(const std::string& path, std::vector<FolderEntry>* entries) override;
    bool fileExists(const std::string& path) override;
    std::int64_t fileSize(const std::string& path) override;
    bool removeFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to) override;
    std::int64_t nowMs() override;
    void sleepMs(unsigned ms) override;
    void print(const std::string& text) override;
    HandOver::SendResult handOver(const std::string& bytes) override;

private:
    Settings m_settings;
    int m_instanceLock = -1;
};
