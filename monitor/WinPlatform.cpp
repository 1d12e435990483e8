#include "WinPlatform.h"

#include "HandOverSend.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <cstdio>

bool WinPlatform::claimInstance(const std::string& name)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return false;
    }
    // An instance running with other rights holds it: a second monitor would take the same jobs.
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED)
        return false;
    m_instance = mutex;
    return true;
}

bool WinPlatform::startSockets()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

bool WinPlatform::documentsFolder(std::string* path)
{
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return false;
    *path = folder;
    return true;
}

std::string WinPlatform::tempFolder()
{
    char folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

std::string WinPlatform::installFolder()
{
    return "C:\\Program Files (x86)\\pavkodriver";
}

std::string WinPlatform::absolutePath(const std::string& path)
{
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

bool WinPlatform::isFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinPlatform::makeFolder(const std::string& path)
{
    return CreateDirectoryA(path.c_str(), nullptr);
}

bool WinPlatform::removeFolder(const std::string& path)
{
    return RemoveDirectoryA(path.c_str());
}

bool WinPlatform::listFolder(const std::string& path, std::vector<FolderEntry>* entries)
{
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((path + "\\*.*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    do {
        entries->push_back({found.cFileName, found.dwFileAttributes});
    } while (FindNextFileA(listing, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(listing);
    return complete;
}

bool WinPlatform::fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::int64_t WinPlatform::fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (std::int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WinPlatform::removeFile(const std::string& path)
{
    return DeleteFileA(path.c_str());
}

bool WinPlatform::moveFile(const std::string& from, const std::string& to)
{
    return MoveFileA(from.c_str(), to.c_str());
}

std::int64_t WinPlatform::nowMs()
{
    return std::int64_t(GetTickCount64());
}

void WinPlatform::sleepMs(unsigned ms)
{
    Sleep(ms);
}

void WinPlatform::print(const std::string& text)
{
    // Redirected output is fully buffered, and the monitor never exits to flush it.
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

HandOver::SendResult WinPlatform::handOver(const std::string& bytes)
{
    return HandOver::sendPath(bytes, m_jobPort);
}
