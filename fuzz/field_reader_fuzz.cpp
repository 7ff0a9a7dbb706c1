// The field reader on arbitrary bytes: numbers and strings of any shape,
// separators, line ends, NUL and bytes above 127, fields longer than their
// capacity. Every field read must move on through the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "channels/field_reader.hpp"
#include "channels/input_source.hpp"

using namespace cncsend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks which kind of field each read asks for.
    const unsigned kinds = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    select_input_text(text);
    for (int i = 0; input_source().position < static_cast<std::int32_t>(text.size()); ++i) {
        const std::int32_t before = input_source().position;
        if (kinds >> (i % 8) & 1) {
            std::string field;
            read_string_field(field);
            if (field.size() > static_cast<std::size_t>(kStringFieldCapacity)) std::abort();
        } else {
            std::int32_t value = 0;
            read_int_field(value);
        }
        if (input_source().position <= before) std::abort();  // a reader that stands still
    }
    release_input_source();
    return 0;
}
