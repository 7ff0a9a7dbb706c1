#include "platform/comm.hpp"

namespace cncsend {

namespace {
const CommOps* installed = nullptr;
}

const CommOps& comm_ops() {
    return installed ? *installed : native_comm_ops();
}

void set_comm_ops(const CommOps* ops) {
    installed = ops;
}

}  // namespace cncsend
