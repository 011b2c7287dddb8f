// Test programs run in a single-threaded apartment, as the server's clients do.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>

int main(int argc, char** argv)
{
    // Unbuffered, so that a test that hangs has shown how far it came.
    setvbuf(stdout, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    HRESULT hr = CoInitialize(nullptr);
    int result = RUN_ALL_TESTS();
    if (SUCCEEDED(hr))
        CoUninitialize();
    return result;
}
