// Applies the system configuration in a fresh process (the platform root comes from the
// environment), writes one line at the detail level and prints "<result> <level>".
#include <stdio.h>

#include "readercore.h"
#include "zptlog.h"

int main() {
    int result = zptconfig_init();
    log_write(LOG_LEVEL_DETAIL, "zptconfig probe line");
    printf("%d %x\n", result, log_get_level());
    zptconfig_deinit();
    XmlLibFree();
    return 0;
}
