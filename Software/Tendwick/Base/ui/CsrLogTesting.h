// Test-only access to the run log. Not for the program: it lets one test
// process start over as a fresh run would.
#pragma once

// Closes the log file and forgets it, so that the next line attaches again
// (and writes its "Start New Log" banner) as the first line of a run does.
void CsrLogDetachForTest();
