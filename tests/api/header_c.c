/* Compiled as C: the public header must stay valid C. */
#include "dizora.h"

/* Takes the address of a few exports of each family through their C prototypes. */
int dz_header_c_check(void) {
  void *table[] = {(void *)&GetCryptObj,         (void *)&DoneEngine,
                   (void *)&GetMaxAdditionEx,    (void *)&GetParamInfo,
                   (void *)&SignData,            (void *)&RegisterOIDInfo,
                   (void *)&RemoteGenerateStartEx, (void *)&CertAndRequestTransferMatch};
  int n = 0;
  unsigned i;
  for (i = 0; i < sizeof table / sizeof table[0]; ++i) n += table[i] != 0;
  return n;
}
