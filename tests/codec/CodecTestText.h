#pragma once

// The codec on texts in memory, for tests, fuzz targets and benchmarks: the host itself decodes from a
// stream and writes whole frames.

#include <string>
#include <string_view>

#include "codec/ByteSource.h"
#include "codec/JsonModule.h"

namespace snh {

inline Request ParseRequest(std::string_view text) {
  TextSource source(text);
  return DecodeRequest(source);
}

// One message's JSON text, without its frame.
inline std::string SerializeResponse(const Response& response) {
  std::string text;
  AppendResponse(text, response);
  return text;
}

}  // namespace snh
