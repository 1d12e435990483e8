#pragma once

#include "SJob.h"

#include <string>
#include <vector>

// Measures a job's spooled PCL XL stream: file size, document name, pages, copies, colour, paper size
// and duplex. Returns false, with the job left as it was apart from its file size, when the stream
// cannot be read, is malformed or asks in its PJL header for more copies than PJL allows. Sessions that
// repeat one document byte for byte are its copies: copies are then the sessions or the PJL header's
// copies, whichever is more, times the pages' own PageCopies. Different sessions are one copy of all
// their pages, which the PJL copies multiply. A file of several PCL XL streams (the documents of one
// Linux job, each behind its own PJL header) is priced for every page each stream prints: pages of one
// copy of all of them, and copies enough to pay for the rest.
// Analyses of different jobs may run at once on different threads.
// pjlLines, when given, receives the PJL lines of the stream's header.
bool analyseJob(SJob& job, std::vector<std::string>* pjlLines = nullptr);

// Copy count the PJL lines of a stream ask for, or 0.
int pjl_copies(const std::vector<std::string>& PjlHeaderLines);
