// The serial options string parser on arbitrary text: it either takes the
// text or answers 1, never reads past its end (the text is not
// NUL-terminated here on purpose).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "serial/serial_options.hpp"

using namespace cncsend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read past the end is an error AddressSanitizer sees.
    std::unique_ptr<char[]> text(new char[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(text.get(), data, size);
    SerialOptions options;
    const int result = parse_serial_options(text.get(), size, options);
    if (result != 0 && result != 1) std::abort();
    if (options.open_port != nullptr) std::abort();
    parse_serial_device_name(text.get(), size);
    return 0;
}
