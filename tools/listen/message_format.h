// The one-line text that the listening tool prints for each delivered message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantorel::tools {

std::string DescribeMessage(std::uint32_t number, std::uint32_t channel,
                            std::span<const std::uint8_t> body);

}  // namespace vantorel::tools
