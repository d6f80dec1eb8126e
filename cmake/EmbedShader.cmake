# lamino_embed_shader(<target> <glsl file> <C++ constant name>)
# Turns a GLSL file into generated/shaders/<file name>.h holding
#   inline constexpr char <name>[] = "...";
# so that the shader texts stay readable GLSL in the source tree and are built into the binary.
# A custom command's rule belongs to targets of the folder that declares it, and the target may
# be declared elsewhere: a small target of this folder builds the header before the target.
function(lamino_embed_shader target file name)
    get_filename_component(base ${file} NAME)
    set(out ${CMAKE_BINARY_DIR}/generated/shaders/${base}.h)
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DNAME=${name}
                -P ${CMAKE_SOURCE_DIR}/cmake/EmbedShaderScript.cmake
        DEPENDS ${file} ${CMAKE_SOURCE_DIR}/cmake/EmbedShaderScript.cmake
        COMMENT "Embedding shader ${base}")
    string(MAKE_C_IDENTIFIER "lamino_shader_${base}" headerTarget)
    add_custom_target(${headerTarget} DEPENDS ${out})
    add_dependencies(${target} ${headerTarget})
endfunction()
