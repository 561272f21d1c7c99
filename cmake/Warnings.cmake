# Every target of the project builds with the same warnings, and a warning fails the build;
# third-party headers are system includes and stay quiet.
function(intercom_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    # GCC's -Wtsan reports the std::atomic_thread_fence in Asio's completion handlers
    # (asio::detail::std_fenced_block), inlined into our code wherever a handler is
    # instantiated: ThreadSanitizer does not model fences. Asio queues and takes those
    # handlers under its scheduler's mutex, which it does model, and no code of ours uses a
    # fence, so the report says nothing that we could act on.
    if(INTERCOM_TSAN AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-tsan)
    endif()
endfunction()
