#include "channels/channel.hpp"

namespace cncsend {

namespace {
IoState state{};
}

IoState& io_state() {
    return state;
}

Channel* resolve_channel(int number) {
    if (number == -1) return &state.channels.slots[kReservedSlot];
    if (number < 0 || number > kMaxChannel) return nullptr;
    return &state.channels.slots[number];
}

}  // namespace cncsend
