// Names a parameterised test row by its `name` member.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace pelorin::testing_support {

struct ByName {
  template <class Row>
  std::string operator()(const testing::TestParamInfo<Row>& row) const {
    return row.param.name;
  }
};

}  // namespace pelorin::testing_support
