#include "host/objects/scripting/Scripting.h"

#include "host/objects/scripting/Dictionary.h"
#include "host/objects/scripting/FileSystemObject.h"
#include "host/pages/PageObjects.h"

namespace kelvane::host::scripting {

void RegisterScripting() {
  RegisterPageObject("Scripting.Dictionary", CreateDictionary);
  RegisterPageObject("Scripting.FileSystemObject", CreateFileSystemObject);
}

}  // namespace kelvane::host::scripting
