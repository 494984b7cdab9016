#include "SerialPort.h"

namespace velorin {

std::string_view openResultName(OpenResult r) {
    switch (r) {
        case OpenResult::Ok: return "open";
        case OpenResult::InUse: return "in use by another program";
        case OpenResult::NotFound: return "not found";
        case OpenResult::NoPermission: return "permission denied";
        case OpenResult::BadSettings: return "settings refused";
        case OpenResult::Failed: return "cannot be opened";
    }
    return "cannot be opened";
}

}  // namespace velorin
