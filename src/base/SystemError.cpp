#include "base/SystemError.h"

#include <fmt/format.h>

namespace snh {

std::string FormatSystemError(std::string_view label, std::uint32_t code, std::string_view systemText) {
  return fmt::format("{} failed. {:#x} {}", label, code, systemText);
}

std::string FormatSystemErrorHresult(std::string_view label, std::int32_t hresult,
                                     std::string_view systemText) {
  return fmt::format("{} failed. {:#x} {}", label, hresult, systemText);
}

}  // namespace snh
