// The terminal's devices registered from the fixed "DRIVEREN", by a library that stands
// apart from the scanner's start-up.
#include "cardslot_log.h"
#include "driver_nodes.h"
#include "xmlcfg.h"

namespace {

// The path is fixed: no directory search.
constexpr char kDriverPath[] = "/system/usr/xml/DRIVEREN";

}  // namespace

int standalone_driver_init() {
    XML_HANDLE *drivers = XMLOpenDecrypt(kDriverPath, kServiceConfigKey);
    if (drivers == nullptr) {
        cardslot_log_line("driver_init=================Error");
        return -1;
    }
    XMLFindCurCallProcForSubName(drivers, nullptr, "name", register_driver_node, nullptr);
    XMLClose(drivers);
    return 0;
}
