# Each library of the program compiles its files through a folder of its own in the build
# tree, which holds links to that library's files alone at their paths under src/ (the
# project for the server), and offers that folder as its only include folder. A library's
# files thus see its own headers and those of the libraries that it links: an #include
# against the direction finds no file, whether written from src/ or relative to the file
# that includes it, and a Qt header is found only where Qt is linked.
#
# A header is compiled with its library's include folders where its own source (the .cpp of
# the same name) includes it first. A header without a source of its own may be included only
# by a library above; it goes in the header set `standalone`, which
# <target>_verify_interface_header_sets compiles header by header with only what the library
# offers, and tests/layers builds those checks with every build.
set_property(GLOBAL PROPERTY INTERCOM_STANDALONE_HEADER_LIBRARIES)

# intercom_layer_files(target BASE folder FILES file...): FILES are absolute or under BASE.
function(intercom_layer_files target)
    cmake_parse_arguments(LAYER "" "BASE" "FILES" ${ARGN})
    set(root ${PROJECT_BINARY_DIR}/layers/${target})
    # Made afresh, so that a file moved to another library leaves no link behind.
    file(REMOVE_RECURSE ${root})
    set(paths)
    foreach(file IN LISTS LAYER_FILES)
        cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${LAYER_BASE})
        cmake_path(RELATIVE_PATH file BASE_DIRECTORY ${LAYER_BASE} OUTPUT_VARIABLE path)
        cmake_path(GET path PARENT_PATH folder)
        file(MAKE_DIRECTORY ${root}/${folder})
        file(CREATE_LINK ${file} ${root}/${path} SYMBOLIC)
        list(APPEND paths ${path})
    endforeach()
    set(sources)
    set(headers)
    set(standalone)
    foreach(path IN LISTS paths)
        if(NOT path MATCHES "\\.h$")
            list(APPEND sources ${root}/${path})
            continue()
        endif()
        string(REGEX REPLACE "\\.h$" ".cpp" source ${path})
        if(source IN_LIST paths)
            list(APPEND headers ${root}/${path})
        else()
            list(APPEND standalone ${root}/${path})
        endif()
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        set(scope INTERFACE)
    else()
        set(scope PUBLIC)
        target_sources(${target} PRIVATE ${sources})
    endif()
    target_sources(${target} ${scope} FILE_SET HEADERS BASE_DIRS ${root} FILES ${headers})
    if(standalone)
        target_sources(${target} ${scope}
            FILE_SET standalone TYPE HEADERS BASE_DIRS ${root} FILES ${standalone})
        set_target_properties(${target} PROPERTIES VERIFY_INTERFACE_HEADER_SETS ON
            INTERFACE_HEADER_SETS_TO_VERIFY standalone)
        set_property(GLOBAL APPEND PROPERTY INTERCOM_STANDALONE_HEADER_LIBRARIES ${target})
    endif()
endfunction()
