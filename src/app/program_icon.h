// The program's own icon (window, task bar, desktop entry): a complete icon file of five sizes.
#pragma once

#include <cstdint>
#include <span>

namespace pelorin::app {

extern const std::span<const std::uint8_t> kProgramIcon;

}  // namespace pelorin::app
