// The service socket's entry points while no message link library is bound: nothing is
// sent and the link cannot be started or stopped.
#include "readercore.h"

extern "C" int zpt_net_init(DEVICE_OBJECT *) { return -1; }

extern "C" int zpt_net_deinit(void) { return -1; }

extern "C" int zpt_net_direct_send(uint16_t, const void *, int) { return 0; }
