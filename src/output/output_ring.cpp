#include "output/output_ring.h"

namespace lumbo {

OutputRing outputRing;

}  // namespace lumbo
