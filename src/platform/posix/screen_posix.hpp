#pragma once
// What the other posix backends need of the terminal screen.

namespace cncsend {

// Sends what the screen still holds back (a cursor that only moved), so
// the terminal shows the cursor where it belongs while the program waits.
void settle_screen_output();

// The terminal may show something else now (the program was suspended):
// draw every cell afresh. Safe in a signal handler.
void forget_screen_contents();

}  // namespace cncsend
