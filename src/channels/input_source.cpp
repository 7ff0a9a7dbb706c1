#include "channels/input_source.hpp"

#include <memory>

#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"

namespace cncsend {

namespace {

std::unique_ptr<InputSource> source;

// The number that resolve_channel maps to this record.
int channel_number(const Channel* ch) {
    const Channel* slots = io_state().channels.slots;
    const auto index = static_cast<int>(ch - slots);
    return index == kReservedSlot ? -1 : index;
}

bool reads_channel(const InputSource& src) {
    return is_open(src.channel);
}

}  // namespace

InputSource& input_source() {
    if (!source) source = std::make_unique<InputSource>(InputSource{nullptr, {}, 0});
    return *source;
}

void release_input_source() {
    source.reset();
}

int select_input_channel(int number) {
    Channel* ch = resolve_channel(number);
    if (!is_open(ch)) return set_last_error(InvalidCall);
    InputSource& src = input_source();
    src.channel = ch;
    src.text.clear();
    src.position = 0;
    return set_last_error(Success);
}

void select_input_text(const std::string& text) {
    InputSource& src = input_source();
    src.channel = nullptr;
    src.text = text;
    src.position = 0;
}

int next_input_byte() {
    InputSource& src = input_source();
    if (reads_channel(src)) {
        unsigned char byte = 0;
        std::size_t delivered = 0;
        if (read_channel(channel_number(src.channel), 0, &byte, 1, delivered, false, false) != 0 ||
            delivered == 0)
            return kEndOfInput;
        return byte;
    }
    if (src.position < 0 || static_cast<std::size_t>(src.position) >= src.text.size())
        return kEndOfInput;
    return static_cast<unsigned char>(src.text[static_cast<std::size_t>(src.position++)]);
}

void give_back_input_byte(int byte) {
    InputSource& src = input_source();
    if (reads_channel(src)) {
        const char c = static_cast<char>(byte);
        put_back_bytes(channel_number(src.channel), &c, 1);
    } else if (src.position > 0) {
        --src.position;
    }
}

}  // namespace cncsend
