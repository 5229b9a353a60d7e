// The notification-area icon: a complete icon file of five sizes, carried in the program.
#pragma once

#include <cstdint>
#include <span>

namespace pelorin::shell {

extern const std::span<const std::uint8_t> kTrayIcon;

}  // namespace pelorin::shell
