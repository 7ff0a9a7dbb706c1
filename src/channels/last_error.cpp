#include <memory>

#include "channels/channel.hpp"

namespace cncsend {

namespace {

struct ErrorState {
    int code;
};

std::unique_ptr<ErrorState> error_state;

ErrorState& errors() {
    if (!error_state) error_state = std::make_unique<ErrorState>(ErrorState{0});
    return *error_state;
}

}  // namespace

int set_last_error(int code) {
    errors().code = code;
    return code;
}

int last_error() {
    return errors().code;
}

void release_error_state() {
    error_state.reset();
}

}  // namespace cncsend
