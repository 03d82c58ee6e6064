#pragma once
// Layer I and Layer II frame decoding: bit allocation, scale factors, requantisation, then the
// whole frame's time slots through the synthesis in one call.

#include <cstdint>

namespace tovira {

class InputStream;
class Synthesis;
struct FrameHeader;
struct Layer12Tables;

class Layer12Decoder {
 public:
  explicit Layer12Decoder(const Layer12Tables& tables) : tables_(tables) {}
  Layer12Decoder(const Layer12Decoder&) = delete;
  Layer12Decoder& operator=(const Layer12Decoder&) = delete;

  // The reader stands after the header and any CRC word. Whatever the stream says, no table is
  // indexed outside its bounds. False when the frame is damaged (a forbidden allocation, or
  // samples that would run past the frame body): it is then output as silence.
  bool DecodeFrameLayer1(InputStream& stream, const FrameHeader& header, Synthesis& synth);
  bool DecodeFrameLayer2(InputStream& stream, const FrameHeader& header, Synthesis& synth);

 private:
  void Output(const FrameHeader& header, Synthesis& synth, int slots);
  void Conceal(const FrameHeader& header, Synthesis& synth, int slots);

  const Layer12Tables& tables_;
  // One frame of sub-band samples: [channel][time slot][sub-band].
  alignas(16) float samples_[2][36][32];
};

}  // namespace tovira
