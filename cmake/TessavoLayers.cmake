# Each library sees its own headers and those of the libraries it links, nothing else.
#
# Sources spell includes from the repository root ("core/Rule.h", "qml/LocalFiles.h"). Instead of
# putting the whole repository on the include path, each library gets an include root of its own in
# the build tree that holds a single link named like its folder, pointing at that folder:
#   <build>/core/include/core -> <source>/core
# That root is the library's PUBLIC include directory, so a library reaches another library's
# headers only by linking it, and an include that goes the wrong way between layers does not
# compile.
function(tessavo_include_root target)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
    set(root "${CMAKE_CURRENT_BINARY_DIR}/include")
    set(link "${root}/${folder}")
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${link}" SYMBOLIC)
    target_include_directories(${target} PUBLIC "${root}")
endfunction()
