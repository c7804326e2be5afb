#include "design/ppg_source_image.h"

namespace velmora::design {
} // namespace velmora::design
