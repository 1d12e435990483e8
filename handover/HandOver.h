#pragma once

#include <string>
#include <vector>

// The contract between the spooler monitor and the client: the monitor moves each finished job's
// output to a file named kSpoolFilePrefix + job id and sends that file's full path to the client on
// 127.0.0.1:kHandOverPort, one path per connection, ended by a zero byte; the client answers with one
// byte, kAnswerTaken or kAnswerRefused, and closes the connection. A sender that gets no kAnswerTaken
// keeps the job and tries again later.
// Plain C++ so that the monitor, which uses no Qt, shares it with the client's listener.
namespace HandOver {
constexpr unsigned short kHandOverPort = 9110;
constexpr char kPortFileName[] = "PavkoPort";
constexpr char kSpoolFilePrefix[] = "PavkoPort.";
// A hand-over longer than this is no path of ours.
constexpr int kMaxPathBytes = 4096;
constexpr char kWorkFolderName[] = "pavkodriver";
// Where the print backend of Linux desktops puts job files: one folder per user, named by the user's
// numeric id, readable only by that user, below this root (or the one the environment variable names,
// for private print servers).
constexpr char kUserSpoolRoot[] = "/var/spool/pavko";
constexpr char kUserSpoolRootVariable[] = "PAVKO_SPOOL_ROOT";

// The most copies a job's PJL header may ask for (the range of PJL's QTY and COPIES): the print backend
// writes no more, and the client refuses a stream that asks for more rather than guess its price.
constexpr int kMaxJobCopies = 999;

constexpr char kAnswerTaken = 'T';
constexpr char kAnswerRefused = 'R';

// A sender's limits: a listener that never accepts, reads or answers costs it seconds, not minutes.
constexpr unsigned kConnectMs = 3000;
constexpr unsigned kSendMs = 3000;
constexpr unsigned kAnswerMs = 5000;

// The folders where the monitor may put job files, in the order it tries them: "pavkodriver" in the
// user's temporary folder, then the install folder. The monitor takes the first that exists (or can be
// made) and is trusted; the client accepts job files only directly inside one of them that is trusted.
// Either argument may be empty (unknown); the temporary folder may end with a separator or not.
inline std::vector<std::string> workFolderCandidates(const std::string& tempFolder,
                                                     const std::string& installFolder, char separator)
{
    std::vector<std::string> folders;
    if (!tempFolder.empty()) {
        const char last = tempFolder.back();
        folders.push_back(tempFolder + (last == '/' || last == '\\' ? "" : std::string(1, separator)) +
                          kWorkFolderName);
    }
    if (!installFolder.empty())
        folders.push_back(installFolder);
    return folders;
}

// Whether job files in this folder can only be the user's: a folder itself, not a link to one. On
// POSIX systems it also belongs to this process's user and nobody else may enter it (mode 0700 or
// stricter): another local user could otherwise put a job there that this user pays for. Windows gives
// each user a temporary folder of their own.
bool isTrustedWorkFolder(const std::string& path);
} // namespace HandOver
