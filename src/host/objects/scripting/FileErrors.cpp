#include "host/objects/scripting/FileErrors.h"

#include <cerrno>
#include <new>

#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::scripting {

void RaiseFileError(int error, Missing missing) {
  using namespace oleaut;
  switch (error) {
    case ENOENT:
    case ENOTDIR: RaiseRuntimeError(missing == Missing::File ? kFileNotFound : kPathNotFound);
    case EEXIST:
    case ENOTEMPTY: RaiseRuntimeError(kFileAlreadyExists);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ELOOP:
    case ETXTBSY:
    case EBUSY: RaiseRuntimeError(kPermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG: RaiseRuntimeError(kDiskFull);
    case EMFILE:
    case ENFILE: RaiseRuntimeError(kTooManyFiles);
    case ENAMETOOLONG: RaiseRuntimeError(kBadFileNameOrNumber);
    case ENOMEM: throw std::bad_alloc();
    default: RaiseRuntimeError(kPathFileAccessError);
  }
}

}  // namespace kelvane::host::scripting
