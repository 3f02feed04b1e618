#include <gtest/gtest.h>

#include "host/win/win_system.h"

int main(int argc, char** argv)
{
    host::win::InstallWinSystem();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
