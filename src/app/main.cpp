#include <cstdlib>

#include "app/run_job.hpp"
#include "app/startup.hpp"

int main(int argc, char** argv) {
    cncsend::io_startup();
    std::atexit(cncsend::io_shutdown);
    cncsend::set_program_args(argc, argv);
    cncsend::run_job();
}
