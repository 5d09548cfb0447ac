// Key mapping: the mapping added last wins, at most one applies.
#include <gtest/gtest.h>

#include "settings/key_mapper.h"

namespace settings_impl {
namespace {

TEST(KeyMapper, LastAddedMatchingMappingWins) {
    KeyMapperBuilder builder;
    builder.addMapping("ver", "VERSION", false);
    builder.addMapping("VER", "OLD", true);
    builder.addMapping("OLD", "NEVER", true);  // applies to keys read as OLD, not to mapped ones
    const auto list = builder.buildMappers();
    struct Case {
        const char* key;
        const char* mapped;
    };
    const Case cases[] = {{"VER", "OLD"}, {"ver", "VERSION"}, {"Ver", "VERSION"}, {"OLD", "NEVER"},
                          {"other", "other"}, {"VERS", "VERS"}, {"", ""}};
    for (const Case& c : cases) EXPECT_EQ(applyKeyMappers(*list, c.key), c.mapped) << c.key;
    EXPECT_EQ(applyKeyMappers(KeyMapperList(), "x"), "x");

    const SimpleKeyMapper mapper("From", "To", false);
    const MappedKey hit = mapper.mapKey("fROM");
    EXPECT_EQ(hit.key, "To");
    EXPECT_TRUE(hit.matched);
    const MappedKey miss = mapper.mapKey("Fro");
    EXPECT_EQ(miss.key, "Fro");
    EXPECT_FALSE(miss.matched);
}

}  // namespace
}  // namespace settings_impl
