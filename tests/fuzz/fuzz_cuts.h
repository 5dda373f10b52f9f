// Where a fuzz input's stream is cut into reads: the first bytes of the input
// choose the cuts, so the fuzzer explores the cut points as it explores the
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzzing {

struct CutStream {
  std::vector<std::size_t> reads;  // lengths of the reads, in order, summing to the stream's size
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
};

// Two leading bytes seed the read lengths (1 to 8 bytes each); the rest is
// the stream.
inline CutStream CutInput(const std::uint8_t* data, std::size_t size) {
  CutStream s;
  if (size < 2) return s;
  std::uint32_t state = (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) * 2654435761u + 1;
  s.bytes = data + 2;
  s.size = size - 2;
  for (std::size_t left = s.size; left > 0;) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    std::size_t n = 1 + state % 8;
    if (n > left) n = left;
    s.reads.push_back(n);
    left -= n;
  }
  return s;
}

// What a new Reader tells Sink of the stream fed read by read, each read in
// a buffer of its own of exactly its size, so that a look past the end of a
// read is an overread the sanitizer sees.
template <typename Reader, typename Sink>
Sink ReadInCuts(const CutStream& s) {
  Reader reader;
  Sink sink;
  std::size_t at = 0;
  for (std::size_t n : s.reads) {
    std::vector<std::uint8_t> read(s.bytes + at, s.bytes + at + n);
    reader.feed(read.data(), read.size(), sink);
    at += n;
  }
  return sink;
}

}  // namespace fuzzing
