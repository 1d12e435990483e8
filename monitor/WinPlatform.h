#pragma once

#include "HandOver.h"
#include "MonitorPlatform.h"

#include <cstdint>

// The monitor's platform on Windows: ANSI file and shell calls, Winsock and a named mutex.
class WinPlatform : public MonitorPlatform
{
public:
    explicit WinPlatform(std::uint16_t jobPort = HandOver::kHandOverPort) : m_jobPort(jobPort) {}
    WinPlatform(const WinPlatform&) = delete;
    WinPlatform& operator=(const WinPlatform&) = delete;

    bool claimInstance(const std::string& name) override;
    bool startSockets() override;
    bool documentsFolder(std::string* path) override;
    std::string tempFolder() override;
    std::string installFolder() override;
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
    std::uint16_t m_jobPort;
    void* m_instance = nullptr; // the mutex, held until the process ends
};
