# Every target of the project builds with the same warnings; third-party headers are system
# includes and stay quiet. A warning fails the build only where it is asked for, with
# -DCMAKE_COMPILE_WARNING_AS_ERROR=ON, as scripts/test does: a user's or a distribution's
# build must not stop on a warning that its own compiler adds.
function(intercom_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    # GCC's -Wtsan reports the std::atomic_thread_fence in Asio's completion handlers
    # (asio::detail::std_fenced_block), inlined into our code wherever a handler is
    # instantiated: ThreadSanitizer does not model fences. Asio queues and takes those
    # handlers under its scheduler's mutex, which it does model, and no code of ours uses a
    # fence, so the report says nothing that we could act on.
    if(INTERCOM_TSAN AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-tsan)
    endif()
endfunction()
