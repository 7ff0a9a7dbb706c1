// Drives the console layer on a real terminal for the end-to-end tests.
//   screen_demo            fixed rows and columns, umlauts, a scroll; waits
//                          for a line on standard input before it ends
//   screen_demo progress   one progress update between two pauses, so that
//                          its bytes can be told apart on the terminal

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/startup.hpp"
#include "console/console_screen.hpp"
#include "console/print.hpp"
#include "console/print_format.hpp"
#include "platform/timer.hpp"

using namespace cncsend;

namespace {

void show_progress(std::int64_t percent) {
    move_cursor(10, 60, -1);
    begin_formatted_print("#####");
    print_formatted(0, percent, 0);
    end_formatted_print(0);
}

void screen() {
    clear_screen();
    move_cursor(1, 1, 0);
    print_text(0, "Kopfzeile oben", 0);
    move_cursor(3, 5, -1);
    print_text(0,
               "Gr\x94\xE1"
               "e: \x84\x94\x81 \x8E\x99\x9A",
               0);
    move_cursor(10, 10, -1);
    print_text(0, "Fortschritt:", 0);
    show_progress(42);
    move_cursor(12, 60, -1);
    print_text(0, "0", 0);
    move_cursor(25, 1, -1);
    print_text(0, "Zeile A", kPrintNewline);
    print_text(0, "Zeile B", kPrintNewline);
    print_text(0, "x\ty\bz", 0);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return;
}

void progress() {
    clear_screen();
    sleep_ms(1000);
    show_progress(42);
    sleep_ms(1000);
}

}  // namespace

int main(int argc, char** argv) {
    io_startup();
    std::atexit(io_shutdown);
    if (argc > 1 && std::strcmp(argv[1], "progress") == 0)
        progress();
    else
        screen();
    return 0;
}
