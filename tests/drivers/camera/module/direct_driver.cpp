// A test camera driver over the skeleton: "direct" probe commands accepted, everything else
// left to the skeleton, so that its probe path can be tested apart from any engine's.
#include "camera_driver.h"

extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "DIRECT",
    .probeProc = "scanner_direct_probe",
    .directProbe = true,
    .version = "V0.1",
};
