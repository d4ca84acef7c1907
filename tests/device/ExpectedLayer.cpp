// The device layer this test program is registered to run on: its build
// names it, so the cases can check that the layer in use is that one.
#include "VirtualRecorder.h"

namespace kestrel::test {

const char* ExpectedDeviceLayer() { return KESTREL_EXPECTED_LAYER; }

}  // namespace kestrel::test
