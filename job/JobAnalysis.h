#pragma once

#include "SJob.h"

#include <string>
#include <vector>

// Measures a job's spooled PCL XL stream: file size, document name, pages, copies, colour, paper size
// and duplex. Returns false, with the job left as it was apart from its file size, when the stream
// cannot be read, is malformed or asks in its PJL header for more copies than PJL allows. Copies are
// the sessions or the PJL header's copies, whichever is more, times the pages' own PageCopies.
// Analyses of different jobs may run at once on different threads.
// pjlLines, when given, receives the PJL lines of the stream's header.
bool analyseJob(SJob& job, std::vector<std::string>* pjlLines = nullptr);

// Copy count the PJL lines of a stream ask for, or 0.
int pjl_copies(const std::vector<std::string>& PjlHeaderLines);
