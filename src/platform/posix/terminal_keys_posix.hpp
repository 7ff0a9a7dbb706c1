#pragma once
// What the other posix backends need of the terminal's key input.

#include <cstddef>

namespace cncsend {

// Keeps bytes that another reader of the terminal took from its input (the
// screen's cursor-position query) for the key decoder, in their order.
void keep_typed_ahead(const char* bytes, std::size_t count);

// True while the program holds key bytes read from the terminal that no
// event has been made of yet.
bool typed_ahead_waiting();

// True once the terminal's input has ended or hung up: it is not worth
// watching any more.
bool terminal_input_gone();

}  // namespace cncsend
