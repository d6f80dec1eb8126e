# Links a library's every object file, with only the libraries it declares, into a program of
# its own: a call from a lower folder into a folder above it (the image files into the host,
# the host into the tool) then fails to link instead of being resolved by whatever program
# happens to link both.
function(lamino_check_layer library)
    set(check ${library}_layer_check)
    add_executable(${check} ${CMAKE_SOURCE_DIR}/cmake/LayerCheck.cpp)
    target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
    set_target_properties(${check} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                          ${CMAKE_BINARY_DIR}/layer-checks)
endfunction()
