// The engine's tests. One debug-output reader for the whole program: the run
// log's lines arrive there, and a prefix allows only one reader at a time.
#include "EngineFixture.h"

namespace {
DbwinCapture* g_capture = nullptr;
}

DbwinCapture& LogCapture()
{
    return *g_capture;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    DbwinCapture capture(DbwinCapture::ThisProcess);
    g_capture = &capture;
    int result = RUN_ALL_TESTS();
    g_capture = nullptr;
    return result;
}
