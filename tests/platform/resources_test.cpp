// String-table entries read in place, with the default text for a missing block.
#include <gtest/gtest.h>

#include "platform/resources.h"
#include "test_support.h"

using testing_support::LogCapture;

namespace {

TEST(StringResource, ReadsEntriesOfTheTestTable) {
    HMODULE self = GetModuleHandleA(nullptr);
    LogCapture log;
    EXPECT_EQ("First entry", StringResource(1, self).string("default"));
    EXPECT_EQ("Second entry with %d", StringResource(2, self).string("default"));
    EXPECT_EQ("", StringResource(3, self).string("default"));  // existing block, no text
    EXPECT_TRUE(log.messages().empty());
}

TEST(StringResource, MissingBlockGivesDefaultAndOneErrorRecord) {
    LogCapture log;
    EXPECT_EQ("fallback", StringResource(100, GetModuleHandleA(nullptr)).string("fallback"));
    std::vector<std::string> messages = log.messages();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(0u, messages[0].find("ERROR: Exception with message 'resources.cpp("));
    EXPECT_NE(std::string::npos, messages[0].find("cannot find resource (name='#100', type='#6')"));
    EXPECT_NE(std::string::npos, log.raw().find(" (StringResource::string)]"));
}

TEST(Resource, CustomTypeFoundOrReported) {
    HMODULE self = GetModuleHandleA(nullptr);
    size_t size = 0;
    const void* data = Resource(1, 11 /* RT_MESSAGETABLE */, self).getPtr(size);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(44u, size);

    try {
        Resource(101, "ZOLT_INSTALLER", self).getPtr(size);
        FAIL() << "found a resource the test module lacks";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string::npos,
                  std::string(e.what()).find("cannot find resource (name='#101', type='ZOLT_INSTALLER')"));
    }
}

}  // namespace
