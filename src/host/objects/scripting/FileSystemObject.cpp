#include "host/objects/scripting/FileSystemObject.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>

#include "host/objects/scripting/FileItems.h"
#include "host/objects/scripting/FileOperations.h"
#include "host/objects/scripting/PathNames.h"
#include "host/objects/scripting/TextStream.h"
#include "host/pages/FileReach.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::scripting {

namespace {

using namespace oleaut;
namespace fs = std::filesystem;

enum Member : DISPID {
  kBuildPath = 10000, kGetAbsolutePathName, kGetBaseName, kGetExtensionName, kGetFileName, kGetParentFolderName,
  kGetTempName, kFileExists, kFolderExists, kGetFile, kGetFolder, kCreateFolder, kDeleteFile, kDeleteFolder,
  kCopyFile, kCopyFolder, kMoveFile, kMoveFolder, kCreateTextFile, kOpenTextFile,
};

constexpr std::array<std::string_view, 1> kPath{"Path"};
constexpr std::array<std::string_view, 2> kBuildParams{"Path", "Name"};
constexpr std::array<std::string_view, 2> kDeleteParams{"FileSpec", "Force"};
constexpr std::array<std::string_view, 3> kCopyParams{"Source", "Destination", "OverWriteFiles"};
constexpr std::array<std::string_view, 2> kMoveParams{"Source", "Destination"};
constexpr std::array<std::string_view, 3> kCreateParams{"FileName", "Overwrite", "Unicode"};
constexpr std::array<std::string_view, 4> kOpenParams{"FileName", "IOMode", "Create", "Format"};

bool IsTrue(const std::optional<VariantBool>& value, bool otherwise) {
  return value ? *value != VariantBool::False : otherwise;
}

// Whether `path` reaches something of `kind` for reading; False, not an
// error, where the page may not reach.
template <class Test>
VariantBool ReachesFor(std::string_view path, Test test) {
  try {
    return ToVariantBool(test(ReachPath(path, FileUse::Read)));
  } catch (const AutomationError&) {
    return VariantBool::False;
  }
}

class FileSystemObject : public IDispatch {
 public:
  std::optional<DISPID> GetIDOfName(std::string_view name) const override { return Table().GetIDOfName(name); }
  const InterfaceDesc* GetTypeInfo() const override { return &Description(); }
  Variant Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) override {
    return Table().Invoke(*this, id, kind, args);
  }

  std::string BuildPath(std::string path, std::string name) { return JoinPath(path, name); }
  std::string GetBaseName(std::string path) { return std::string(scripting::BaseName(path)); }
  std::string GetExtensionName(std::string path) { return std::string(ExtensionName(path)); }
  std::string GetFileName(std::string path) { return std::string(LastName(path)); }
  std::string GetParentFolderName(std::string path) { return std::string(ParentName(path)); }

  // The path from the site's root, its "." and ".." taken away; the disk
  // is not asked whether it exists.
  std::string GetAbsolutePathName(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    fs::path absolute = (ReachPath(".", FileUse::Read) / path).lexically_normal();
    std::string text = absolute.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
  }

  // "rad" and five hexadecimal digits, ".tmp": a name for a file to make.
  std::string GetTempName() {
    thread_local std::mt19937 random{std::random_device{}()};
    char name[16];
    std::snprintf(name, sizeof name, "rad%05X.tmp", static_cast<unsigned>(random() & 0xFFFFF));
    return name;
  }

  VariantBool FileExists(std::string path) { return ReachesFor(path, IsFile); }
  VariantBool FolderExists(std::string path) { return ReachesFor(path, IsFolder); }

  Variant GetFile(std::string path) {
    fs::path file = ReachPath(path, FileUse::Read);
    if (!IsFile(file)) RaiseRuntimeError(kFileNotFound);
    return ObjectRef(MakeFile(std::move(file)));
  }

  Variant GetFolder(std::string path) {
    fs::path folder = ReachPath(path, FileUse::Read);
    if (!IsFolder(folder)) RaiseRuntimeError(kPathNotFound);
    return ObjectRef(MakeFolder(std::move(folder)));
  }

  Variant CreateFolder(std::string path) { return ObjectRef(MakeFolder(scripting::CreateFolder(path))); }

  void DeleteFile(std::string spec, std::optional<VariantBool> force) { DeleteFiles(spec, IsTrue(force, false)); }
  void DeleteFolder(std::string spec, std::optional<VariantBool> force) { DeleteFolders(spec, IsTrue(force, false)); }

  void CopyFile(std::string source, std::string destination, std::optional<VariantBool> overwrite) {
    CopyFiles(source, destination, IsTrue(overwrite, true));
  }
  void CopyFolder(std::string source, std::string destination, std::optional<VariantBool> overwrite) {
    CopyFolders(source, destination, IsTrue(overwrite, true));
  }
  void MoveFile(std::string source, std::string destination) { MoveFiles(source, destination); }
  void MoveFolder(std::string source, std::string destination) { MoveFolders(source, destination); }

  Variant CreateTextFile(std::string path, std::optional<VariantBool> overwrite, std::optional<VariantBool> unicode) {
    return ObjectRef(CreateTextStream(ReachPath(path, FileUse::Write), IsTrue(overwrite, true), IsTrue(unicode, false)));
  }

  Variant OpenTextFile(std::string path, std::optional<Long> mode, std::optional<VariantBool> create,
                       std::optional<Long> format) {
    const IOMode use = ToIOMode(mode.value_or(1));
    const TextFormat form = ToTextFormat(format.value_or(0));
    const bool creating = IsTrue(create, false);
    fs::path file = ReachPath(path, use == IOMode::Reading ? FileUse::Read : FileUse::Write);
    // Reading makes a missing file only where the page may write.
    if (use == IOMode::Reading && creating && !IsFile(file)) file = ReachPath(path, FileUse::Write);
    return ObjectRef(OpenTextStream(file, use, creating, form));
  }

 private:
  static const DispatchTable<FileSystemObject>& Table() {
    using F = FileSystemObject;
    static const DispatchTable<F> table({
        Bind<&F::BuildPath>(kBuildPath, "BuildPath", DISPATCH_METHOD, kBuildParams),
        Bind<&F::GetAbsolutePathName>(kGetAbsolutePathName, "GetAbsolutePathName", DISPATCH_METHOD, kPath),
        Bind<&F::GetBaseName>(kGetBaseName, "GetBaseName", DISPATCH_METHOD, kPath),
        Bind<&F::GetExtensionName>(kGetExtensionName, "GetExtensionName", DISPATCH_METHOD, kPath),
        Bind<&F::GetFileName>(kGetFileName, "GetFileName", DISPATCH_METHOD, kPath),
        Bind<&F::GetParentFolderName>(kGetParentFolderName, "GetParentFolderName", DISPATCH_METHOD, kPath),
        Bind<&F::GetTempName>(kGetTempName, "GetTempName", DISPATCH_METHOD),
        Bind<&F::FileExists>(kFileExists, "FileExists", DISPATCH_METHOD, kPath),
        Bind<&F::FolderExists>(kFolderExists, "FolderExists", DISPATCH_METHOD, kPath),
        Bind<&F::GetFile>(kGetFile, "GetFile", DISPATCH_METHOD, kPath),
        Bind<&F::GetFolder>(kGetFolder, "GetFolder", DISPATCH_METHOD, kPath),
        Bind<&F::CreateFolder>(kCreateFolder, "CreateFolder", DISPATCH_METHOD, kPath),
        Bind<&F::DeleteFile>(kDeleteFile, "DeleteFile", DISPATCH_METHOD, kDeleteParams),
        Bind<&F::DeleteFolder>(kDeleteFolder, "DeleteFolder", DISPATCH_METHOD, kDeleteParams),
        Bind<&F::CopyFile>(kCopyFile, "CopyFile", DISPATCH_METHOD, kCopyParams),
        Bind<&F::CopyFolder>(kCopyFolder, "CopyFolder", DISPATCH_METHOD, kCopyParams),
        Bind<&F::MoveFile>(kMoveFile, "MoveFile", DISPATCH_METHOD, kMoveParams),
        Bind<&F::MoveFolder>(kMoveFolder, "MoveFolder", DISPATCH_METHOD, kMoveParams),
        Bind<&F::CreateTextFile>(kCreateTextFile, "CreateTextFile", DISPATCH_METHOD, kCreateParams),
        Bind<&F::OpenTextFile>(kOpenTextFile, "OpenTextFile", DISPATCH_METHOD, kOpenParams),
    });
    return table;
  }
  static const InterfaceDesc& Description() {
    static const InterfaceDesc description{"FileSystemObject", GUID{}, 0, "IDispatch", Table().Functions()};
    return description;
  }
};

}  // namespace

std::shared_ptr<IDispatch> CreateFileSystemObject() { return std::make_shared<FileSystemObject>(); }

}  // namespace kelvane::host::scripting
