/* Kestra2G_Revert: a function of our device library beyond the maker's 23
 * (Kestra2G.h). The maker's library lacks it, so the program looks it up by
 * name as optional and can say that this library cannot revert.
 *
 * It opens COMn, asks the boot loader of the family `code` (0-3) which image
 * the device kept from before its last update and, when `apply` is 1, makes
 * that image the running one and restarts the device into it; `apply` 0 only
 * tells. `previous` (255 bytes) receives the previous image's version
 * ("2.0.3") on 1, the reason on 0 (as the support log has it). A device that
 * runs its application refuses: RESET first, as for a download. cdecl,
 * exported under its plain name. */
#ifndef KESTRA2G_REVERT_H
#define KESTRA2G_REVERT_H

#include "Kestra2G.h"

#ifdef __cplusplus
extern "C" {
#endif

#define K2G_REVERT_TELL 0
#define K2G_REVERT_APPLY 1

typedef unsigned char K2G_CALL K2G_RevertFunction(int32_t port, int32_t code, int32_t apply,
                                                  char* previous);

K2G_API K2G_RevertFunction Kestra2G_Revert;

#ifdef __cplusplus
}
#endif

#endif /* KESTRA2G_REVERT_H */
