#include "platform/screen.hpp"

namespace cncsend {

namespace {
const ScreenOps* installed = nullptr;
}

const ScreenOps& screen_ops() {
    return installed ? *installed : native_screen_ops();
}

void set_screen_ops(const ScreenOps* ops) {
    installed = ops;
}

}  // namespace cncsend
