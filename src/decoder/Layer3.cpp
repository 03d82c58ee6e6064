#include "decoder/Layer3.h"

#include "decoder/DecoderError.h"

namespace tovira {

// Placeholder until the Layer III decoder lands: such frames are refused, never misdecoded.
struct Layer3Decoder::State {};

Layer3Decoder::Layer3Decoder() : state_(std::make_unique<State>()) {}
Layer3Decoder::~Layer3Decoder() = default;
void Layer3Decoder::Reset() {}
void Layer3Decoder::DecodeFrame(InputStream&, const FrameHeader&, Synthesis&) {
  throw DecoderError("Layer III is not supported yet");
}

}  // namespace tovira
