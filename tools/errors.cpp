// Exit statuses of engine results.
#include "errors.h"

#include "dizora.h"

namespace dztool {

int ExitForCode(int32_t code) {
  switch (code) {
    case DZ_LIB_BAD_SIGNATURE:
    case DZ_LIB_SIGNATURE_R_ZERO:
    case DZ_LIB_SIGNATURE_S_ZERO:
    case DZ_LIB_SIGNATURE_R_RANGE:
    case DZ_LIB_SIGNATURE_S_RANGE:
    case DZ_E_SIGNATURE_FORMAT:
    case DZ_E_MAC_MISMATCH:
    case DZ_E_CRYPT_MODE:
    case DZ_E_REGEN_KEY_MISMATCH:
      return kExitRefused;
    case DZ_E_PUBLIC_KEY:
    case DZ_E_SECRET_KEY:
    case DZ_E_NOT_RECIPIENT:
    case DZ_E_REGEN_KEYS_MISSING:
    case DZ_E_REGEN_DIR_MISSING:
      return kExitNotFound;
    case DZ_E_PUBLIC_KEY_FILE:
    case DZ_E_SECRET_KEY_FILE:
    case DZ_E_FILE_WRITE:
    case DZ_E_MEDIUM_STRUCTURE:
    case DZ_E_REGEN_DIR_INVALID:
      return kExitFile;
    default:
      return kExitEngine;
  }
}

}  // namespace dztool
