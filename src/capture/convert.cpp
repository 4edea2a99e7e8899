#include "capture/capture.h"

namespace capture {
// Filled in by the block conversion.
void ConvertBlock() {}
void MeasurePeaks() {}
} // namespace capture
