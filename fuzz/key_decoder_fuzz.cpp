// The terminal key decoder on arbitrary input, fed in arbitrary pieces with
// pauses between them, in UTF-8 and in code page 437 mode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/terminal_key_decoder.hpp"

using namespace cncsend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    TerminalKeyDecoder decoder = make_terminal_key_decoder(data[0] & 1);
    // Each piece is a length byte, that many input bytes, and (low bit of
    // the length) whether the input pauses after it.
    std::vector<KeyEvent> events;
    std::size_t at = 1;
    while (at < size) {
        const std::size_t want = data[at] >> 1;
        const bool pause = data[at] & 1;
        ++at;
        const std::size_t count = want < size - at ? want : size - at;
        decode_terminal_bytes(decoder, data + at, count, events);
        at += count;
        if (pause) flush_terminal_decoder(decoder, events);
        if (decoder.pending_count > sizeof decoder.pending) std::abort();
    }
    flush_terminal_decoder(decoder, events);
    if (terminal_decoder_pending(decoder)) std::abort();  // a pause settles everything
    return 0;
}
