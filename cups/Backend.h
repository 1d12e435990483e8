#pragma once

#include <string>
#include <sys/types.h>

// The CUPS backend "pavko": writes the job's stream to the printing user's spool folder as
// "PavkoPort." + the job id and hands the file's path to that user's running client on the job port.
// When no client of that user listens, the file stays and CUPS is asked to try again later; a client
// that starts takes waiting files itself. A PDF or PostScript document is kept beside the stream as
// "PavkoPort." + id + ".document.pdf" or ".document.ps", for printing later (a name of its own: the
// client writes its converted document to "PavkoPort." + id + ".pdf").
namespace Backend {
// The backend's exit codes that CUPS knows.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kHold = 3; // the job stays in the queue, held, until an administrator releases or cancels it
constexpr int kRetry = 6;

struct Job
{
    std::string id;   // CUPS job id, decimal
    std::string user; // the job's user name
    int input = 0;    // the stream: standard input or the job's file
    // Whom CUPS authenticated for the job (its AUTH_USERNAME; AUTH_UID, the peer's user id, when the job
    // came over CUPS's local socket) and what credentials the queue asks of users (AUTH_INFO_REQUIRED).
    std::string authUser;
    std::string authUid;
    std::string authInfoRequired;
};

// Only a job whose user CUPS authenticated may go to that user's client: a job name is whatever the
// submitter wrote ("lp -U"), and the client pays for what it is handed.
bool trustedUser(const Job& job, uid_t uid);

// The root of the users' spool folders: the environment's, else the default.
std::string spoolRoot();
// The spool folder of one user below the root.
std::string userFolder(const std::string& root, uid_t uid);
// Makes the root (owned by the backend, world-searchable) and the user's folder (owned by the user,
// 0700) as needed; false when either is something else, such as a link. An existing user's folder is
// taken only as the backend leaves it: the user's, 0700, and nothing in it of anyone else.
bool prepareFolders(const std::string& root, uid_t uid, gid_t gid);
// Writes the stream to folder/name through a temporary name, unless that file is already complete from
// an earlier try of the same job. Run as the user, so that the file is the user's.
bool keepStream(int input, const std::string& folder, const std::string& name);
// The job's first document as the application printed it, when it is PDF or PostScript (*extension:
// ".document.pdf" or ".document.ps"), from CUPS's request folder; -1 otherwise.
int openDocument(const std::string& id, std::string* extension);
// The user id of the process that accepted our connection from localPort to 127.0.0.1:port, read from
// the kernel's socket table; -1 when not found.
long listenerUid(const char* tableText, unsigned short port, unsigned short localPort);
// One job from start to end; the exit code for CUPS. Messages go to standard error for CUPS's log.
int run(const Job& job, unsigned short port);
} // namespace Backend
