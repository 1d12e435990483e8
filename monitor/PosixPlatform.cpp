#include "PosixPlatform.h"

#include "HandOverSend.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

PosixPlatform::PosixPlatform(Settings settings) : m_settings(std::move(settings)) {}

PosixPlatform::~PosixPlatform()
{
    if (m_instanceLock >= 0)
        close(m_instanceLock);
}

bool PosixPlatform::claimInstance(const std::string& name)
{
    const std::string path = m_settings.lockFolder + "/" + name + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // The lock goes with the descriptor, so a crashed instance never blocks the next.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    if (m_instanceLock >= 0)
        close(m_instanceLock);
    m_instanceLock = fd;
    return true;
}

bool PosixPlatform::documentsFolder(std::string* path)
{
    *path = m_settings.documentsFolder;
    return !path->empty();
}

std::string PosixPlatform::absolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    const std::string relative = path.compare(0, 2, "./") == 0 ? path.substr(2) : path;
    return std::string(cwd) + "/" + relative;
}

bool PosixPlatform::isFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixPlatform::makeFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0700) == 0;
}

bool PosixPlatform::removeFolder(const std::string& path)
{
    return rmdir(path.c_str()) == 0;
}

bool PosixPlatform::listFolder(const std::string& path, std::vector<FolderEntry>* entries)
{
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        FolderEntry item;
        item.name = entry->d_name;
        struct stat info;
        // lstat: a link to a folder is an entry of its own, not the folder.
        const std::string full = path + "/" + item.name;
        if (lstat(full.c_str(), &info) == 0)
            item.attributes = S_ISDIR(info.st_mode) ? kAttributeDirectory : 0x80;
        entries->push_back(item);
        errno = 0;
    }
    const bool complete = errno == 0;
    closedir(dir);
    return complete;
}

bool PosixPlatform::fileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::int64_t PosixPlatform::fileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? std::int64_t(info.st_size) : -1;
}

bool PosixPlatform::removeFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

bool PosixPlatform::moveFile(const std::string& from, const std::string& to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

std::int64_t PosixPlatform::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void PosixPlatform::sleepMs(unsigned ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PosixPlatform::print(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

HandOver::SendResult PosixPlatform::handOver(const std::string& bytes)
{
    return HandOver::sendPath(bytes, m_settings.jobPort, nullptr, m_settings.limits);
}
