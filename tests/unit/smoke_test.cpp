#include <gtest/gtest.h>

#include "frame/string_table.h"

TEST(StringTable, HasTheSuccessText) {
  EXPECT_EQ(nc::frame::LoadText(1000), "00: Операция выполнена успешно");
}
