#include "Backend.h"

#include "HandOver.h"
#include "HandOverSend.h"
#include "PjlLine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kTableReads = 50;
constexpr unsigned kTableReadGapMs = 10;

// The universal exit language command that starts and ends a PJL job, and how a PCL XL stream begins.
const std::string kUel = "\x1b%-12345X";
const std::string kXlBegin = ") HP-PCL XL";
// A PJL line is short; a longer run of bytes without a line feed is no header of ours to change.
constexpr size_t kMaxPjlLine = 4096;

enum class PjlCommand
{
    None,
    Enter,
    Copies,
    Other
};

// What a line of a PJL header does for the copy line: a line that is no PJL ends the header.
PjlCommand pjlCommand(const std::string& line)
{
    const auto is = [&line](size_t at, char upper) {
        return at < line.size() && std::toupper(static_cast<unsigned char>(line[at])) == upper;
    };
    if (!is(0, '@') || !is(1, 'P') || !is(2, 'J') || !is(3, 'L') ||
        (line.size() > 4 && std::isalpha(static_cast<unsigned char>(line[4]))))
        return PjlCommand::None;
    const PjlLine pjl = readPjlLine(line);
    if (pjl.command == "ENTER")
        return PjlCommand::Enter;
    return pjl.command == "SET" && pjl.assigns && (pjl.variable == "QTY" || pjl.variable == "COPIES")
               ? PjlCommand::Copies
               : PjlCommand::Other;
}

bool isDecimal(const std::string& text)
{
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The root, made when missing: an existing one must be a folder of the backend's user, never a link. Users
// may look into it but place nothing there.
bool ensureRoot(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat info;
    const bool ok = fstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
                    ((info.st_mode & 07777) == 0755 || fchmod(folder, 0755) == 0);
    close(folder);
    return ok;
}

// Whether everything directly in the folder belongs to uid.
bool holdsOnly(int folder, uid_t uid)
{
    const int copy = dup(folder);
    DIR* list = copy >= 0 ? fdopendir(copy) : nullptr;
    if (!list) {
        if (copy >= 0)
            close(copy);
        return false;
    }
    bool ok = true;
    while (const dirent* entry = readdir(list)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat info;
        if (fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_uid != uid)
            ok = false;
    }
    closedir(list);
    return ok;
}

// The user's folder: made here and given to the user, or one made so before. Anyone who can place entries
// in the root could have made one in advance, with their own files in it for the user's client to take:
// a folder is taken only when it is the user's, 0700, and holds nothing of anyone else.
bool ensureUserFolder(const std::string& path, uid_t uid, gid_t gid)
{
    const bool made = mkdir(path.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return false;
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat info;
    bool ok = fstat(folder, &info) == 0 && S_ISDIR(info.st_mode);
    if (ok && made) // still the one just made: nobody else could enter it yet
        ok = info.st_uid == geteuid() && fchown(folder, uid, gid) == 0 && fchmod(folder, 0700) == 0;
    else if (ok)
        ok = info.st_uid == uid && (info.st_mode & 07777) == 0700 && holdsOnly(folder, uid);
    close(folder);
    return ok;
}

// From here on the backend acts as the user: the file it writes is the user's, and nothing in the
// user's folder can make it write elsewhere with more rights.
bool becomeUser(const passwd& user)
{
    if (geteuid() != 0)
        return getuid() == user.pw_uid;
    return initgroups(user.pw_name, user.pw_gid) == 0 &&
           setresgid(user.pw_gid, user.pw_gid, user.pw_gid) == 0 &&
           setresuid(user.pw_uid, user.pw_uid, user.pw_uid) == 0;
}

// Whether a document of the request folder is one Ghostscript reads as PDF or PostScript.
bool isPdfOrPostScript(int file)
{
    char head[5];
    const ssize_t got = pread(file, head, sizeof head, 0);
    return (got == 5 && std::memcmp(head, "%PDF-", 5) == 0) || (got >= 2 && std::memcmp(head, "%!", 2) == 0);
}

// Removes a folder and the files directly in it.
void removeFolder(const std::string& path)
{
    if (DIR* list = opendir(path.c_str())) {
        while (const dirent* entry = readdir(list)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                unlink((path + "/" + entry->d_name).c_str());
        }
        closedir(list);
    }
    rmdir(path.c_str());
}

// Ghostscript's PDF writer on the inputs, into output; true when it ended well. Under -dSAFER a document
// may read the files named here and read and write Ghostscript's temporary folder, which is the private
// one given, so that it reaches nothing else of the user's into the PDF.
bool joinAsPdf(const std::vector<std::string>& inputs, const std::string& output,
               const std::string& temporary)
{
    // Ghostscript reads "%d" in an output name as a page number: "%" is written "%%".
    std::string outputName;
    for (char c : output)
        outputName += c == '%' ? std::string("%%") : std::string(1, c);
    std::vector<std::string> arguments = {
        "gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite", "-sOutputFile=" + outputName};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    // Made before the fork: the child of a process with threads may only call what is safe in a signal
    // handler until it runs the program.
    std::vector<std::string> variables = {"TMPDIR=" + temporary};
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "TMPDIR=", 7) != 0)
            variables.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(&variable[0]);
    envp.push_back(nullptr);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(null);
    if (child < 0)
        return false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string readTable()
{
    std::ifstream table("/proc/net/tcp");
    std::stringstream text;
    text << table.rdbuf();
    return text.str();
}
} // namespace

namespace Backend {
std::string spoolRoot()
{
    const char* root = std::getenv(HandOver::kUserSpoolRootVariable);
    return root && *root ? std::string(root) : std::string(HandOver::kUserSpoolRoot);
}

std::string userFolder(const std::string& root, uid_t uid)
{
    return root + "/" + std::to_string(uid);
}

bool prepareFolders(const std::string& root, uid_t uid, gid_t gid)
{
    return ensureRoot(root) && ensureUserFolder(userFolder(root, uid), uid, gid);
}

bool trustedUser(const Job& job, uid_t uid)
{
    // Credentials that a queue asks of its users reach the backend under the same names: only CUPS's own
    // authentication of the submitter counts.
    if (!job.authInfoRequired.empty() && job.authInfoRequired != "none")
        return false;
    if (job.authUser.empty() || job.authUser != job.user)
        return false;
    // Over the local socket CUPS also gives the submitting process's user id; a password is checked
    // without one.
    return job.authUid.empty() ||
           (isDecimal(job.authUid) && std::strtoul(job.authUid.c_str(), nullptr, 10) == uid);
}

int copiesArgument(const std::string& text)
{
    if (!isDecimal(text) || text.size() > 4)
        return 0;
    const int copies = std::atoi(text.c_str());
    return copies >= 1 && copies <= HandOver::kMaxJobCopies ? copies : 0;
}

CopyLines::CopyLines(int copies) : m_line("@PJL SET QTY=" + std::to_string(copies) + "\n") {}

std::string CopyLines::pass(const char* data, size_t size)
{
    m_held.append(data, size);
    return drain(false);
}

std::string CopyLines::finish()
{
    return drain(true);
}

void CopyLines::put(std::string& out, const std::string& text)
{
    if (text.empty())
        return;
    out += text;
    m_last = text.back();
}

std::string CopyLines::drain(bool end)
{
    std::string out;
    for (;;) {
        switch (m_state) {
        case State::Start:
            if (!end && m_held.size() < kXlBegin.size() && kXlBegin.compare(0, m_held.size(), m_held) == 0)
                return out;
            // Each copy line follows a line feed, as the brand rewrites before sending look for it.
            if (m_held.compare(0, kXlBegin.size(), kXlBegin) == 0) {
                put(out, kUel + "@PJL\n" + m_line + "@PJL ENTER LANGUAGE=PCLXL\n");
                ++m_changed;
            }
            m_state = State::Data;
            break;
        case State::Data: {
            const size_t uel = m_held.find(kUel);
            if (uel == std::string::npos) {
                const size_t keep = end ? 0 : std::min(m_held.size(), kUel.size() - 1);
                put(out, m_held.substr(0, m_held.size() - keep));
                m_held.erase(0, m_held.size() - keep);
                return out;
            }
            put(out, m_held.substr(0, uel + kUel.size()));
            m_held.erase(0, uel + kUel.size());
            m_state = State::Header;
            m_headerHasCopies = false;
            break;
        }
        case State::Header: {
            if (m_held.compare(0, kUel.size(), kUel) == 0) { // one PJL job ends, the next begins
                put(out, kUel);
                m_held.erase(0, kUel.size());
                m_headerHasCopies = false;
                break;
            }
            const size_t lineFeed = m_held.find('\n');
            if (lineFeed == std::string::npos || lineFeed >= kMaxPjlLine) {
                if (!end && m_held.size() < kMaxPjlLine)
                    return out;
                m_state = State::Data;
                break;
            }
            const std::string line = m_held.substr(0, lineFeed + 1);
            const PjlCommand command = pjlCommand(line);
            if (command == PjlCommand::None) {
                m_state = State::Data;
                break;
            }
            if (command == PjlCommand::Enter) {
                if (!m_headerHasCopies) {
                    put(out, m_last == '\n' ? m_line : "@PJL\n" + m_line);
                    ++m_changed;
                }
                m_state = State::Data;
            }
            if (command == PjlCommand::Copies)
                m_headerHasCopies = true;
            put(out, line);
            m_held.erase(0, line.size());
            break;
        }
        }
    }
}

bool keepStream(int input, const std::string& folder, const std::string& name, CopyLines* copyLines)
{
    const std::string path = folder + "/" + name;
    const std::string part = folder + "/." + name + ".part";
    // Read to the end in any case: a filter before us that cannot write its stream fails the job.
    const int out = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    char buffer[65536];
    bool ok = out >= 0;
    const auto writeAll = [out, &ok](const char* data, size_t size) {
        for (size_t done = 0; ok && done < size;) {
            const ssize_t put = write(out, data + done, size - done);
            if (put < 0 && errno != EINTR)
                ok = false;
            else if (put > 0)
                done += size_t(put);
        }
    };
    for (;;) {
        const ssize_t got = read(input, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (copyLines) {
            const std::string piece = copyLines->pass(buffer, size_t(got));
            writeAll(piece.data(), piece.size());
        } else {
            writeAll(buffer, size_t(got));
        }
    }
    if (out < 0)
        return false;
    if (copyLines) {
        const std::string rest = copyLines->finish();
        writeAll(rest.data(), rest.size());
    }
    ok = fsync(out) == 0 && ok;
    ok = close(out) == 0 && ok;
    struct stat info;
    // Only the rename below makes this name, so a file of it is the whole stream of an earlier try of
    // this job, which the client may be reading: it stays.
    if (ok && lstat(path.c_str(), &info) == 0) {
        unlink(part.c_str());
        return S_ISREG(info.st_mode);
    }
    if (ok && rename(part.c_str(), path.c_str()) == 0)
        return true;
    unlink(part.c_str());
    return false;
}

std::vector<int> openDocuments(const std::string& id, std::string* extension)
{
    std::vector<int> documents;
    const char* type = std::getenv("CONTENT_TYPE");
    const char* requests = std::getenv("CUPS_REQUESTROOT");
    if (!type || !requests)
        return documents;
    if (std::strcmp(type, "application/pdf") == 0)
        *extension = ".document.pdf";
    else if (std::strcmp(type, "application/postscript") == 0)
        *extension = ".document.ps";
    else
        return documents;
    const unsigned long number = std::strtoul(id.c_str(), nullptr, 10);
    bool whole = true;
    for (int index = 1; whole; ++index) {
        char name[48];
        std::snprintf(name, sizeof name, "/d%05lu-%03d", number, index);
        const int file = open((std::string(requests) + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (file < 0) {
            whole = errno == ENOENT && index > 1;
            break;
        }
        documents.push_back(file);
        whole = index <= kMaxDocuments;
    }
    // CONTENT_TYPE is the first document's; the others tell by their first bytes.
    if (whole && documents.size() > 1) {
        *extension = ".document.pdf";
        for (int file : documents)
            whole = whole && isPdfOrPostScript(file);
    }
    if (!whole) {
        for (int file : documents)
            close(file);
        documents.clear();
    }
    return documents;
}

bool keepDocuments(const std::vector<int>& documents, const std::string& folder, const std::string& name)
{
    if (documents.size() <= 1)
        return !documents.empty() && keepStream(documents.front(), folder, name);
    const std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0)
        return S_ISREG(info.st_mode);
    // Ghostscript reads files by name, and CUPS's are not the user's to read: each is copied first, into
    // a folder that is also Ghostscript's temporary one.
    std::string temporary = folder + "/." + name + ".XXXXXX";
    if (!mkdtemp(&temporary[0]))
        return false;
    std::vector<std::string> inputs;
    bool ok = true;
    for (size_t index = 0; ok && index < documents.size(); ++index) {
        inputs.push_back(temporary + "/" + std::to_string(index + 1));
        ok = keepStream(documents[index], temporary, std::to_string(index + 1));
    }
    const std::string part = folder + "/." + name + ".part";
    unlink(part.c_str());
    ok = ok && joinAsPdf(inputs, part, temporary);
    removeFolder(temporary);
    char head[5] = {};
    const int written = ok ? open(part.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    ok = written >= 0 && read(written, head, sizeof head) == ssize_t(sizeof head) &&
         std::memcmp(head, "%PDF-", 5) == 0;
    if (written >= 0)
        close(written);
    if (ok && rename(part.c_str(), path.c_str()) == 0)
        return true;
    unlink(part.c_str());
    return false;
}

long listenerUid(const char* tableText, unsigned short port, unsigned short localPort)
{
    char local[32];
    char remote[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::snprintf(remote, sizeof remote, "0100007F:%04X", localPort);
    std::istringstream table(tableText);
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, from, to, state, queues, timer, retransmits;
        long uid = -1;
        if (!(fields >> slot >> from >> to >> state >> queues >> timer >> retransmits >> uid))
            continue;
        if (from == local && to == remote)
            return uid;
    }
    return -1;
}

int run(const Job& job, unsigned short port)
{
    if (!isDecimal(job.id)) {
        std::fprintf(stderr, "ERROR: bad job id\n");
        return kFailed;
    }
    const passwd* found = getpwnam(job.user.c_str());
    if (!found) {
        std::fprintf(stderr, "ERROR: unknown user %s\n", job.user.c_str());
        return kFailed;
    }
    const passwd user = *found;
    if (!trustedUser(job, user.pw_uid)) {
        std::fprintf(stderr,
                     "ERROR: job %s: CUPS did not authenticate its user %s (the queue's printer-op-policy "
                     "must be \"authenticated\"); the job is held\n",
                     job.id.c_str(), job.user.c_str());
        return kHold;
    }
    const std::string root = spoolRoot();
    if (!prepareFolders(root, user.pw_uid, user.pw_gid)) {
        std::fprintf(
            stderr,
            "ERROR: job %s: the spool folder of user %s below %s is not one this backend made (a link, "
            "someone else's, open to others or holding others' files); the job is held\n",
            job.id.c_str(), job.user.c_str(), root.c_str());
        return kHold;
    }
    // Read while still root: CUPS keeps the documents for itself.
    std::string extension;
    struct Documents
    {
        std::vector<int> files;
        ~Documents()
        {
            for (int file : files)
                close(file);
        }
    } documents{openDocuments(job.id, &extension)};
    if (!becomeUser(user)) {
        std::fprintf(stderr, "ERROR: cannot act as user %s\n", job.user.c_str());
        return kFailed;
    }
    const std::string folder = userFolder(root, user.pw_uid);
    const std::string name = HandOver::kSpoolFilePrefix + job.id;
    const std::string path = folder + "/" + name;
    int copies = copiesArgument(job.copies);
    if (copies == 0) {
        std::fprintf(stderr, "WARNING: job %s: copies \"%s\" is no count from 1 to %d; printing 1\n",
                     job.id.c_str(), job.copies.c_str(), HandOver::kMaxJobCopies);
        copies = 1;
    }
    CopyLines copyLines(copies);
    if (!keepStream(job.input, folder, name, copies > 1 ? &copyLines : nullptr)) {
        std::fprintf(stderr, "ERROR: cannot write %s\n", path.c_str());
        return kRetry;
    }
    if (copies > 1)
        std::fprintf(stderr, "INFO: job %s: %d copies carried into %d PJL header(s)\n", job.id.c_str(),
                     copies, copyLines.headersChanged());
    // The client's print later converts this in place of the PCL XL stream, which it cannot read here.
    if (!documents.files.empty() && !keepDocuments(documents.files, folder, name + extension))
        std::fprintf(stderr, "WARNING: cannot keep the job's %zu document(s) beside %s\n",
                     documents.files.size(), path.c_str());

    // Port 9110 on loopback is open to every desktop user: the path goes only to a listener of the
    // job's user.
    const uid_t uid = user.pw_uid;
    const auto isUsers = [port, uid](unsigned short localPort) {
        for (int attempt = 0; attempt < kTableReads; ++attempt) {
            const long owner = listenerUid(readTable().c_str(), port, localPort);
            if (owner >= 0)
                return owner == long(uid);
            std::this_thread::sleep_for(std::chrono::milliseconds(kTableReadGapMs));
        }
        return false;
    };
    switch (HandOver::sendPath(path, port, isUsers)) {
    case HandOver::SendResult::Taken:
        std::fprintf(stderr, "INFO: handed over to the Pavko client of %s\n", job.user.c_str());
        return kOk;
    case HandOver::SendResult::NotOwner:
        std::fprintf(stderr, "INFO: the Pavko client running is not %s's; the job waits\n", job.user.c_str());
        return kRetry;
    case HandOver::SendResult::Refused:
    case HandOver::SendResult::Failed:
        std::fprintf(stderr, "INFO: the Pavko client of %s did not take the job; the job waits\n",
                     job.user.c_str());
        return kRetry;
    default:
        std::fprintf(stderr, "INFO: no Pavko client of %s is running; the job waits\n", job.user.c_str());
        return kRetry;
    }
}
} // namespace Backend
