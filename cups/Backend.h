#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The CUPS backend "pavko": writes the job's stream to the printing user's spool folder as
// "PavkoPort." + the job id and hands the file's path to that user's running client on the job port.
// When no client of that user listens, the file stays and CUPS is asked to try again later; a client
// that starts takes waiting files itself. The job's documents, when they are PDF or PostScript, are kept
// beside the stream as "PavkoPort." + id + ".document.pdf" or ".document.ps", for printing later (a name
// of its own: the client writes its converted document to "PavkoPort." + id + ".pdf"); a job of several
// documents as one PDF of them all.
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
    std::string copies; // the copies CUPS asks for (the backend's copies argument), as given
};

// The copies of CUPS's copies argument: digits only, 1 to HandOver::kMaxJobCopies; 0 for anything else.
int copiesArgument(const std::string& text);

// Carries the job's copy count into the PJL headers of its stream as it passes. The queue's filters
// (Ghostscript's PCL XL device behind cups-filters' generic PPD) leave copies to the printer and write
// none, so CUPS's count reaches only the backend; the printer and the client's price both read it from
// "@PJL SET QTY=n" (collated copies of the whole job). Every header that goes on to a language gets that
// line before its ENTER LANGUAGE, unless it sets QTY or COPIES itself; a PCL XL stream without header
// gets one. Anything else passes unchanged.
class CopyLines
{
public:
    explicit CopyLines(int copies);
    // The bytes to write for the next piece of the stream; the tail of a piece that may begin a header
    // is held back until more arrive.
    std::string pass(const char* data, size_t size);
    // What was held back, at the end of the stream.
    std::string finish();
    // How many headers got the copy line.
    int headersChanged() const { return m_changed; }

private:
    enum class State
    {
        Start,
        Data,
        Header
    };
    std::string drain(bool end);
    void put(std::string& out, const std::string& text);

    std::string m_line;
    std::string m_held;
    State m_state = State::Start;
    bool m_headerHasCopies = false;
    char m_last = '\n';
    int m_changed = 0;
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
// an earlier try of the same job. Run as the user, so that the file is the user's. copyLines, when
// given, carries the job's copies into the stream.
bool keepStream(int input, const std::string& folder, const std::string& name,
                CopyLines* copyLines = nullptr);
// The most documents of one job that are kept for printing later.
constexpr int kMaxDocuments = 256;
// The job's documents as the applications printed them, in order, from CUPS's request folder (read as
// root, before the backend becomes the user), when every one is PDF or PostScript: CUPS filters a job's
// documents one after another into the one stream the backend reads, and printing later must have all
// of them. *extension: ".document.pdf" or ".document.ps" for one document (by CUPS's CONTENT_TYPE),
// ".document.pdf" for several, which keepDocuments joins. Empty (nothing open) otherwise.
std::vector<int> openDocuments(const std::string& id, std::string* extension);
// Keeps the documents as folder/name: one as it is, several joined into one PDF by Ghostscript (gs on
// the PATH), run as the user with a private temporary folder. Nothing is kept when that fails, so that
// no part of a job passes for the whole. A name already there is an earlier try's and stays.
bool keepDocuments(const std::vector<int>& documents, const std::string& folder, const std::string& name);
// The user id of the process that accepted our connection from localPort to 127.0.0.1:port, read from
// the kernel's socket table; -1 when not found.
long listenerUid(const char* tableText, unsigned short port, unsigned short localPort);
// One job from start to end; the exit code for CUPS. Messages go to standard error for CUPS's log.
int run(const Job& job, unsigned short port);
} // namespace Backend
