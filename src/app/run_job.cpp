#include "app/run_job.hpp"

#include "app/startup.hpp"

namespace cncsend {

void run_job() {
    end_program(0);
}

}  // namespace cncsend
