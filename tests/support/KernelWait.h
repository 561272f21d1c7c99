#pragma once

#include <string_view>

namespace intercom::test {

// True when a thread of this process is blocked in a kernel function whose name contains
// `function`, as the thread's wait channel in /proc names it: "wait_for_partner" while it
// opens a FIFO that has no writer, "pipe_read" (or "anon_pipe_read") while it reads an empty
// one.
bool threadWaitsIn(std::string_view function);

}  // namespace intercom::test
