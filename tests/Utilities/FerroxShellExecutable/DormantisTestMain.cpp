// The shell's logger and crash report. The report tests start this program
// again as a child that faults.
#include "ChildProcess.h"

int FaultChild(int argc, char** argv);
int FatalChild(int argc, char** argv);
int SmashedFrameChild(int argc, char** argv);

int main(int argc, char** argv)
{
    return RunTestsOrChildMode(argc, argv, {{"fault", FaultChild}, {"fatal", FatalChild}, {"smashed", SmashedFrameChild}});
}
