// A test camera driver over the skeleton: "direct" probe commands accepted, everything else
// left to the skeleton, so that its probe path can be tested apart from any engine's.
#include "camera_driver.h"
#include "zptlog.h"

namespace {

int close_engine(ENGINE_RECORD *record) { return common_scanner_close(record); }

} // namespace

extern "C" const CAMERA_DRIVER_DESC g_camera_driver = {
    .engine = "DIRECT",
    .probeProc = "scanner_direct_probe",
    .defaultWidth = 640,
    .defaultHeight = 480,
    .directionMax = 1,
    .directProbe = true,
    .onlyPlatform = nullptr,
    .codeIdProperty = VEXO_ID_EXTERNAL_SYMBOLOGY,
    .nullFrameCheck = false,
    .sizeEachStep = false,
    .platformLine = true,
    .lowerMaxLine = "mLowerMax     [%d] ",
    .syncAttribute = "default",
    .syncOnesForFlags = false,
    .logBusy = false,
    .decodeImageLine = "DIRECT: Decode OK, data:(%d)(%s) ********************",
    .decodeImageLevel = LOG_LEVEL_DETAIL,
    .version = "V0.1",
    .notify = nullptr,
    .probeAccept = nullptr,
    .afterI2cOpen = nullptr,
    .open = nullptr,
    .close = nullptr,
    .decodeImagePrepare = nullptr,
    .ioctrl = nullptr,
    .closeEngine = close_engine,
};
