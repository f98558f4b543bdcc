#include "common/update_codes.h"

const char* UpdateResultName(int32_t code) {
    switch (code) {
        case UPD_DONE: return "UPD_DONE";
        case UPD_UP_TO_DATE: return "UPD_UP_TO_DATE";
        case UPD_PACKAGE_APPLIED: return "UPD_PACKAGE_APPLIED";
        case UPD_E_FETCH: return "UPD_E_FETCH";
        case UPD_E_DATA: return "UPD_E_DATA";
        case UPD_E_OPEN_PACK: return "UPD_E_OPEN_PACK";
        case UPD_E_REBUILD_PACK: return "UPD_E_REBUILD_PACK";
        case UPD_INTERRUPTED: return "UPD_INTERRUPTED";
        case UPD_E_DISK_SPACE: return "UPD_E_DISK_SPACE";
        case UPD_RESTART_REQUESTED: return "UPD_RESTART_REQUESTED";
        default: return "?";
    }
}
