#include "sender/media_error.h"

#include <algorithm>
#include <array>

namespace vantorel::sender {
namespace {

struct Mapping {
  MediaErrc code;
  HRESULT hr;
  std::string_view name;
};

constexpr std::array<Mapping, 9> kMappings{{
    {MediaErrc::kOk, S_OK, "ok"},
    {MediaErrc::kFailed, E_FAIL, "failed"},
    {MediaErrc::kInvalidArgument, E_INVALIDARG, "invalid argument"},
    {MediaErrc::kWrongState, VFW_E_WRONG_STATE, "wrong state"},
    {MediaErrc::kFileNotFound, E_FILE_NOT_FOUND, "file not found"},
    {MediaErrc::kAccessDenied, E_ACCESSDENIED, "access denied"},
    {MediaErrc::kBadFileType, E_BAD_FILE_TYPE, "not a regular file"},
    {MediaErrc::kUnsupportedStream, VFW_E_UNSUPPORTED_STREAM, "unsupported stream"},
    {MediaErrc::kTimeout, VFW_E_TIMEOUT, "timeout"},
}};

const Mapping& MappingOf(MediaErrc code) {
  const auto it = std::find_if(kMappings.begin(), kMappings.end(),
                               [code](const Mapping& m) { return m.code == code; });
  return it != kMappings.end() ? *it : kMappings[1];
}

}  // namespace

std::string_view NameOf(MediaErrc code) {
  return MappingOf(code).name;
}

HRESULT ToHresult(MediaErrc code) {
  return MappingOf(code).hr;
}

Status FromHresult(HRESULT hr, std::string message) {
  if (SUCCEEDED(hr)) return Status();
  const auto it = std::find_if(kMappings.begin(), kMappings.end(),
                               [hr](const Mapping& m) { return m.hr == hr; });
  return Status(it != kMappings.end() ? it->code : MediaErrc::kFailed, std::move(message));
}

}  // namespace vantorel::sender
