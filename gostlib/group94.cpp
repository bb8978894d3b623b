#include "group94.hpp"

namespace gost {

namespace {
constexpr const char* kP =
    "B4E25EFB018E3C8B87505E2A67553C5EDC56C2914B7E4F89D23F03F03377E70A2903489DD60E78418D3D851EDB5317C4"
    "871E40B04228C3B7902963C4B7D85D52B9AA88F2AFDBEB28DA8869D6DF846A1D98924E925561BD69300B9DDD05D247B5"
    "922D967CBB02671881C57D10E5EF72D3E6DAD4223DC82AA1F7D0294651A480DF";
constexpr const char* kQ = "972432A437178B30BD96195B773789AB2FFF15594B176DD175B63256EE5AF2CF";
constexpr const char* kA =
    "8FD36731237654BBE41F5F1F8453E71CA414FFC22C25D915309E5D2E62A2A26C7111F3FC79568DAFA028042FE1A52A04"
    "89805C0DE9A1A469C844C7CABBEE625C3078888C1D85EEA883F1AD5BC4E6776E8E1A0750912DF64F79956499F1E18247"
    "5B0B60E2632ADCD8CF94E9C54FD1F3B109D81F00BF2AB8CB862ADF7D40B9369A";
}  // namespace

Group94 load_group94() { return {mpi_from_hex(kP), mpi_from_hex(kQ), mpi_from_hex(kA)}; }

Mpi powm(gcry_mpi_t base, gcry_mpi_t e, gcry_mpi_t mod, bool secret) {
  Mpi r = secret ? Mpi::make_secure() : Mpi::make();
  gcry_mpi_powm(r.get(), base, e, mod);
  return r;
}

bool in_subgroup94(const Group94& g, gcry_mpi_t y) {
  Mpi p_minus_1 = Mpi::make();
  gcry_mpi_sub_ui(p_minus_1.get(), g.p.get(), 1);
  if (gcry_mpi_cmp_ui(y, 1) <= 0 || gcry_mpi_cmp(y, p_minus_1.get()) >= 0) return false;
  const Mpi t = powm(y, g.q.get(), g.p.get(), false);
  return gcry_mpi_cmp_ui(t.get(), 1) == 0;
}

}  // namespace gost
