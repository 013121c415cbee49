#include "trevalo/utils/TROptionValue.h"

#include "platform/KeyedArchiver.h"

namespace trevalo {

namespace {

// Records have no equality of their own; two records are the same value when they archive
// alike, which covers every field a record keeps.
bool sameRecord(const std::shared_ptr<const platform::Archivable>& left,
                const std::shared_ptr<const platform::Archivable>& right) {
  if (left == right) return true;
  if (!left || !right) return false;
  return left->archiveClassName() == right->archiveClassName() &&
         platform::KeyedArchiver::archivedDataWithRootObject(left) ==
             platform::KeyedArchiver::archivedDataWithRootObject(right);
}

}  // namespace

bool TROptionValue::operator==(const TROptionValue& other) const {
  if (const Json* mine = json()) {
    const Json* theirs = other.json();
    return theirs && *mine == *theirs;
  }
  const Records* theirs = other.records();
  if (!theirs || theirs->size() != records()->size()) return false;
  for (std::size_t i = 0; i < theirs->size(); ++i) {
    if (!sameRecord((*records())[i], (*theirs)[i])) return false;
  }
  return true;
}

}  // namespace trevalo
