#include "app/progress.hpp"

namespace cncsend {

std::int32_t progress_percent(std::int64_t consumed, std::int64_t length) {
    if (length <= 0) return 100;  // emptied or grown from nothing: all we had is sent
    if (consumed <= 0) return 0;
    if (consumed >= length) return 100;
    return static_cast<std::int32_t>(100 * consumed / length);
}

}  // namespace cncsend
