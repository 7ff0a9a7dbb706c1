#include "platform/process.hpp"

namespace cncsend {

namespace {
const ProcessOps* installed = nullptr;
}

const ProcessOps& process_ops() {
    return installed ? *installed : native_process_ops();
}

void set_process_ops(const ProcessOps* ops) {
    installed = ops;
}

}  // namespace cncsend
