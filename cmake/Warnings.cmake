# Every target of the project builds with the same warnings; third-party headers are
# system includes and stay quiet.
function(intercom_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
