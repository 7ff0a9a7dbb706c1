// Asks for answers at the console and shows each one, with its bytes in hex,
// so that a driving script can check what the line editor produced.
//   prompt_demo [count]      count answers (default 4)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup.hpp"
#include "channels/field_reader.hpp"
#include "console/line_input.hpp"
#include "console/print.hpp"

int main(int argc, char** argv) {
    using namespace cncsend;
    io_startup();
    std::atexit(io_shutdown);
    set_program_args(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 4;
    print_text(0, "pid " + std::to_string(getpid()), kPrintNewline);
    for (int i = 0; i < count; ++i) {
        prompt_input(i == 0 ? "Spindeldrehzahl " : "", -1, -1);
        std::string answer;
        read_string_field(answer);
        std::string hex;
        for (unsigned char byte : answer) {
            char item[4];
            std::snprintf(item, sizeof item, "%02x", byte);
            hex += item;
        }
        print_text(0, "Antwort: [" + answer + "] " + hex, kPrintNewline);
    }
    end_program(0);
}
