#pragma once

#include "imagefiles/ImageIO.h"

#include <cstdint>

namespace Tessarine::Lamino {

// The image rendered when no input file is given: drawn procedurally so that the tool needs no
// data files. Gradients, a grid, a checker strip, a disc with a transparent hole, a translucent
// colour panel, diagonal stripes and two lines of bitmap-font text; every straight edge and the
// text make shifted bands easy to see. Any size can be asked for; the layout scales with it.
class DefaultImage {
public:
    static constexpr int32_t kWidth = 960;
    static constexpr int32_t kHeight = 540;

    static Image make(int32_t width = kWidth, int32_t height = kHeight);
};

}  // namespace Tessarine::Lamino
