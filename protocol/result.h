// The result codes every layer returns: zero or positive is success, negative a failure. The
// values are those of the original media framework, so callers compare and report them unchanged.
#pragma once

#include <cstdint>

namespace vantorel {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
// An enumeration has no item at the asked position.
inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
// The file does not exist.
inline constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
// The file exists but may not be read.
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
// The path names a directory, FIFO, socket or device rather than a file (the bad file type
// error in the system error range).
inline constexpr HRESULT E_BAD_FILE_TYPE = static_cast<HRESULT>(0x800700DEu);
// The file's type is not recognised / no filter can take its stream.
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = static_cast<HRESULT>(0x80040265u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218u);
inline constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022Eu);
inline constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

}  // namespace vantorel
