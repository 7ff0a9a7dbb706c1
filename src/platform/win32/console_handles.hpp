#pragma once
// The standard handles of the console, shared by the screen and the key
// backends. The first look-up also turns processed input on, so that the
// system itself handles Ctrl+C.

#include <windows.h>

namespace cncsend {

HANDLE console_input_handle();
HANDLE console_output_handle();

}  // namespace cncsend
