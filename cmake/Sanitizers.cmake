if(INTERCOM_ASAN_UBSAN AND INTERCOM_TSAN)
    message(FATAL_ERROR "ThreadSanitizer cannot be combined with AddressSanitizer")
endif()

if(INTERCOM_ASAN_UBSAN)
    set(_intercom_sanitize -fsanitize=address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
elseif(INTERCOM_TSAN)
    set(_intercom_sanitize -fsanitize=thread -fno-omit-frame-pointer)
endif()

if(_intercom_sanitize)
    add_compile_options(${_intercom_sanitize})
    add_link_options(${_intercom_sanitize})
endif()
