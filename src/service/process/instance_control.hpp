#pragma once
// start, stop, restart and status against a running instance.

#include <string>

#include "service/process/process_context.hpp"

// Carries out `signal`. True when this invocation is done (told another instance, printed its
// status, found it already running, or did not know the signal); false when this process is to
// become the serving instance.
bool handleProcessSignal(const std::string& signal, const ProcessContext& ctx);
