// The store's tests run against Retenta.dll, bound by ordinal as the unit's
// programs bind it. Some tests start this program again as a second process.
#include "ChildProcess.h"

int PeerChild(int argc, char** argv);
int WriteCloseChild(int argc, char** argv);
int HoldChild(int argc, char** argv);
int MidChangeChild(int argc, char** argv);

int main(int argc, char** argv)
{
    return RunTestsOrChildMode(argc, argv, {{"peer", PeerChild}, {"write-close", WriteCloseChild}, {"hold", HoldChild},
                                                  {"mid-change", MidChangeChild}});
}
