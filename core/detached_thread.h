#pragma once
// The one way to start a thread that nobody joins: the workers' and the port openers'.

#include <functional>
#include <system_error>

// Runs job on a new thread that nobody joins; the reason when no thread could start, and job
// then never runs.
std::error_code StartDetachedThread(std::function<void()> job);
