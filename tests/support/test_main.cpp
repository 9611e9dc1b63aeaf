// The one main() of every test executable.
#include <curl/curl.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // libcurl's global set-up, once, before any test starts a thread.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
