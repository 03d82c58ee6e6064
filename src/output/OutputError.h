#pragma once
#include <stdexcept>
#include <string>

namespace tovira {

// Thrown by the audio output when the sound device cannot be opened or the output is used
// while closed; the engine turns it into an error for the user and ends the track.
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace tovira
