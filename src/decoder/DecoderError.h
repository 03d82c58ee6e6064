#pragma once
#include <stdexcept>
#include <string>

namespace tovira {

// Thrown on a fatal input or decoding error; the engine catches it and ends the track.
class DecoderError : public std::runtime_error {
 public:
  explicit DecoderError(const std::string& what) : std::runtime_error(what) {}
  int code() const noexcept { return 1; }
};

}  // namespace tovira
