#pragma once
// Layer III frame decoding: side information, reservoir, scale factors, Huffman spectra,
// requantisation, stereo processing and hybrid synthesis into the sub-band filter bank.

#include <memory>

namespace tovira {

class InputStream;
class Synthesis;
struct FrameHeader;

class Layer3Decoder {
 public:
  Layer3Decoder();
  ~Layer3Decoder();
  Layer3Decoder(const Layer3Decoder&) = delete;
  Layer3Decoder& operator=(const Layer3Decoder&) = delete;

  // Clears the overlap buffers: at the start of a track and after a seek.
  void Reset();
  // Decodes the current frame (the bit reader stands at the side information, any CRC word
  // already skipped) and hands its time slots to the synthesis. False when the frame was
  // damaged (forbidden side information, data past the frame or past part2_3_length): from the
  // first bad granule on it is concealed as silence, and the reservoir and overlap stay in step.
  bool DecodeFrame(InputStream& stream, const FrameHeader& header, Synthesis& synth);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovira
