#include <gtest/gtest.h>

#include "engine/Catalogue.h"

TEST(Catalogue, Smoke) { EXPECT_EQ(qv::TCatalogue::Builtin().Categories.size(), 10u); }
