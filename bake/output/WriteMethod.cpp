#include "WriteMethod.h"

#include <cerrno>

namespace Morvane {
namespace {

// The new file cannot be the target, but the target itself can still be written, as `>`
// writes it: the folder refuses new entries (EACCES, EPERM, EROFS, EBUSY, EXDEV), or the
// system cannot give the new file the target's owner or group (EPERM, or EINVAL for ids
// that a user namespace does not map).
bool PreventsReplacing(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EBUSY ||
           error == EXDEV || error == EINVAL;
}

}  // namespace

bool IsResourceError(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == ENOSPC ||
#if defined(EDQUOT)
           error == EDQUOT ||
#endif
           false;
}

WriteMethod ChooseWriteMethod(const TargetFacts& facts, int& error) {
    error = facts.replacementError;
    if (facts.descriptor >= 0) {
        return WriteMethod::Descriptor;
    }
    if (!facts.regular) {
        return WriteMethod::SpecialFile;
    }
    if (IsResourceError(error)) {
        return WriteMethod::Refuse;
    }
    if (facts.missing) {
        // A new file that cannot be made without a name is made as `>` makes it.
        return error == 0 ? WriteMethod::Replace : WriteMethod::InPlace;
    }
    if (error != 0 && !PreventsReplacing(error)) {
        return WriteMethod::Refuse;
    }
    const bool sameFileCanBeNew = error == 0 && facts.located && facts.links == 1 &&
                                  !facts.setIdOrSticky && !facts.mountPoint &&
                                  !facts.deviceFolder && !facts.folderAppendOnly;
    return sameFileCanBeNew ? WriteMethod::Replace : WriteMethod::InPlace;
}

}  // namespace Morvane
