#include "platform/keys.hpp"

namespace cncsend {

namespace {
const KeyEventOps* installed = nullptr;
}

const KeyEventOps& key_event_ops() {
    return installed ? *installed : native_key_event_ops();
}

void set_key_event_ops(const KeyEventOps* ops) {
    installed = ops;
}

}  // namespace cncsend
