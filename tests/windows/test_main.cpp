// The Windows programs link with -municode, whose start-up calls wmain; this
// is the test program's entry point (gtest_main's narrow main goes unused).
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
