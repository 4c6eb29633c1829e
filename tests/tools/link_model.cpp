#include "tests/tools/link_model.h"

namespace vantorel::testing {

LinkModel::LinkModel(const LinkParameters& p) : p_(p), rng_(p.seed) {}

LinkFate LinkModel::Next() {
  ++counts_.in;
  if (p_.toBad > 0) bad_ = bad_ ? roll_(rng_) >= p_.toGood : roll_(rng_) < p_.toBad;
  LinkFate fate;
  if (roll_(rng_) < (bad_ ? p_.badLoss : p_.loss)) {
    fate.lost = true;
    ++counts_.lost;
    if (bad_) ++counts_.lostInBursts;
    return fate;
  }
  if (roll_(rng_) < p_.duplicate) {
    fate.copies = 2;
    ++counts_.duplicated;
  }
  if (p_.reorderDepth > 0 && roll_(rng_) < p_.reorder) {
    fate.holdBack = std::uniform_int_distribution<int>(1, p_.reorderDepth)(rng_);
    ++counts_.reordered;
  }
  return fate;
}

}  // namespace vantorel::testing
