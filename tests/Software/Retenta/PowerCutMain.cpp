// The power-cut tests and soak. The soak's counts come from the command line:
//   --cuts=N   power cuts of the soak (default 300: seconds)
//   --seed=N   the soak's seed (default: from the clock; printed with the figures)
// The figures quoted for the store use --cuts=10000.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "PowerCutKey.h"

PowerCutOptions g_powerCut;

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--cuts=", 7) == 0) g_powerCut.cuts = std::atoi(argv[i] + 7);
        else if (std::strncmp(argv[i], "--seed=", 7) == 0)
            g_powerCut.seed = static_cast<unsigned>(std::strtoul(argv[i] + 7, nullptr, 10));
    }
    return RUN_ALL_TESTS();
}
