// SPDX-License-Identifier: Zlib
// Raw LZMA1 streams for the decoder tests: from independent encoders (xz and
// liblzma, the LZMA SDK's lzma_alone) and, for streams no encoder writes, from
// a symbol-by-symbol writer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decoding/liblzma_raw_decoder.h"
#include "decoding/lzma1_decoder.h"

namespace stub::testing {

// A raw LZMA1 stream and its five properties bytes.
struct Lzma1Stream {
  std::array<uint8_t, 5> properties{};
  std::vector<uint8_t> bytes;
};

// The properties bytes for lc, lp, pb and a dictionary size.
std::array<uint8_t, 5> Lzma1PropertiesBytes(uint32_t lc, uint32_t lp, uint32_t pb,
                                            uint32_t dict_size);

// True when `tool` can be run (found on PATH).
bool HaveTool(const std::string& tool);

// `xz --format=raw --lzma1=OPTIONS` (liblzma's encoder); the stream ends with
// an end marker. `options` as xz takes them, e.g. "preset=6,lc=0,lp=4,pb=0".
// The properties bytes are built from `lc`, `lp`, `pb` and `dict_size`, which
// must match `options`. Nullopt when xz fails or is missing.
std::optional<Lzma1Stream> EncodeWithXzRaw(const std::vector<uint8_t>& data,
                                           const std::string& options, uint32_t lc, uint32_t lp,
                                           uint32_t pb, uint32_t dict_size);

// `xz --format=lzma -PRESET`: a .lzma file, split into properties and stream
// (xz writes no size and ends the stream with an end marker).
std::optional<Lzma1Stream> EncodeWithXzLzma(const std::vector<uint8_t>& data, int preset);

// The LZMA SDK's `lzma_alone e IN OUT -lcN -lpN -pbN -dN [-eos]`, split into
// properties and stream. `dict_log`: dictionary of 2^dict_log bytes (12-30).
std::optional<Lzma1Stream> EncodeWithLzmaAlone(const std::vector<uint8_t>& data, uint32_t lc,
                                               uint32_t lp, uint32_t pb, uint32_t dict_log,
                                               bool end_marker);

// An .xz stream of `data` from liblzma's threaded encoder (two threads), as
// `xz -T2 --block-size=BLOCK_SIZE` writes it: LZMA2 at `preset`, behind the
// x86 filter with `x86_filter`, blocks of `block_size` bytes whose headers
// state their sizes, and the integrity check `check` (an lzma_check value).
std::vector<uint8_t> EncodeXz(const std::vector<uint8_t>& data, uint64_t block_size,
                              bool x86_filter = false, int check = 1 /* LZMA_CHECK_CRC32 */,
                              uint32_t preset = 1);

// Rewrites the first block header of the .xz stream `xz` to state an
// uncompressed size one byte short, with a header CRC32 that matches: a block
// whose size lies.
void ShortenFirstXzBlock(std::vector<uint8_t>& xz);

// One of Wine's Windows programs (e.g. "cmd.exe"); empty when missing.
std::vector<uint8_t> WineProgram(const std::string& name);

// Writes an LZMA1 stream symbol by symbol, valid or not, and keeps the bytes
// a decoder produces from it (zeros stand in for bytes a bad match would
// copy). Distances count from 1 (1 = the byte just written).
class Lzma1StreamWriter {
 public:
  Lzma1StreamWriter(uint32_t lc, uint32_t lp, uint32_t pb, uint32_t dict_size);
  ~Lzma1StreamWriter();
  Lzma1StreamWriter(const Lzma1StreamWriter&) = delete;
  Lzma1StreamWriter& operator=(const Lzma1StreamWriter&) = delete;

  void Literal(uint8_t byte);
  void Literals(const std::string& text);
  void Match(uint32_t distance, uint32_t length);  // length 2 to 273
  void Rep(int index, uint32_t length);            // one of the last four distances
  void ShortRep();                                 // one byte at the last distance
  void EndMarker();

  // Flushes the range coder and returns the stream.
  Lzma1Stream Finish();
  const std::vector<uint8_t>& decoded() const { return decoded_; }

 private:
  struct Model;
  class RangeEncoder;

  void Copy(uint32_t distance, uint32_t length);
  void Length(bool rep, uint32_t length);
  void Distance(uint32_t distance_minus_1, uint32_t length);
  uint32_t PosState() const;

  uint32_t lc_, lp_, pb_, dict_size_;
  std::unique_ptr<Model> model_;
  std::unique_ptr<RangeEncoder> rc_;
  std::vector<uint8_t> decoded_;
  uint32_t state_ = 0;
  std::array<uint32_t, 4> reps_{1, 1, 1, 1};
};

// --- Decoding ----------------------------------------------------------------

// The outcome of one decoder run: its verdict and the bytes it handed out.
struct Decoded {
  bool ok = false;
  std::vector<uint8_t> bytes;
};

// Lzma1ProgramDecoder, as the launcher decodes the inner program: `stream`
// (followed by `trailing`) handed out in small pieces, every chunk collected.
// `ok`: it ended with kEnd. `rewinds`, when given, receives how often the
// input was started again (the own decoder taking over from liblzma).
Decoded DecodeAsLauncher(const Lzma1Stream& stream, uint64_t program_length,
                         const std::vector<uint8_t>& trailing = {}, bool x86_filter = false,
                         int* rewinds = nullptr);

// The two decoders behind Lzma1ProgramDecoder, each alone, the stream handed
// out in small pieces, the output in small chunks. `out_size` as they take it
// (kLzma1UnknownSize: until an end marker).
struct BackendRun {
  Decoded decoded;
  LiblzmaStatus liblzma = LiblzmaStatus::kSucceeded;  // RunLiblzma only
  Lzma1Status own = Lzma1Status::kReachedSize;        // RunOwnDecoder only
};
BackendRun RunLiblzma(const Lzma1Stream& stream, uint64_t out_size);
BackendRun RunOwnDecoder(const Lzma1Stream& stream, uint64_t out_size);

}  // namespace stub::testing
