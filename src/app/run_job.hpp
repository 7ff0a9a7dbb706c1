#pragma once

namespace cncsend {

// The whole job: dialogue, preparation, transfer. Ends the program.
[[noreturn]] void run_job();

}  // namespace cncsend
