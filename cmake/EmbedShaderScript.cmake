# Script mode helper of lamino_embed_shader: writes IN as a raw string constant NAME into OUT.
file(READ ${IN} text)
file(WRITE ${OUT} "// Generated from ${IN}; edit the GLSL file instead.\n#pragma once\n"
     "inline constexpr char ${NAME}[] = R\"glsl(${text})glsl\";\n")
