// The Windows test programs' main: FreeImage, linked in, knows its formats
// only once initialised.
#include <gtest/gtest.h>

#include <FreeImage.h>

int main(int argc, char** argv)
{
    FreeImage_Initialise(FALSE), testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
