#pragma once

#include "SJob.h"

// Measures a job's spooled PCL XL stream: file size, document name, pages, copies, colour, paper size
// and duplex. Returns false, with the job left as it was apart from its file size, when the stream
// cannot be read or is malformed. Runs the PCL XL reader, whose PJL line list and colour flag are
// process-wide: callers must not run two analyses at once.
bool analyseJob(SJob& job);

// Copy count the captured PJL lines ask for, or 0.
int pjl_copies();
